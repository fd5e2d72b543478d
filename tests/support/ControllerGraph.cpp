#include "support/ControllerGraph.h"

#include <QQmlApplicationEngine>

#include "app/Startup.h"
#include "device/NetworkCom.h"
#include "model/PreampModel.h"
#include "system/SystemManager.h"

ControllerGraph::ControllerGraph()
    : m_engine(new QQmlApplicationEngine), m_transport(new NetworkCom)
{
    static const bool registered = (Startup::registerQmlTypes(), true);
    Q_UNUSED(registered)
    m_manager = Startup::start(m_engine, m_transport);
}

ControllerGraph::~ControllerGraph()
{
    delete m_engine;
    const QList<PreampModel *> models = m_manager ? m_manager->preamps() : QList<PreampModel *>();
    m_manager.reset();
    qDeleteAll(models);
    delete m_transport;
}

QObject *ControllerGraph::window() const
{
    return m_engine->rootObjects().value(0);
}

PreampModel *ControllerGraph::model(int slot) const
{
    return m_manager->preamps().at(slot);
}
