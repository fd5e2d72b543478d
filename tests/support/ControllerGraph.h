#pragma once

#include <QList>

#include <memory>

class NetworkCom;
class PreampModel;
class QObject;
class QQmlApplicationEngine;
class SystemManager;

// The program's object graph with its real window, built by the same start-up code main()
// runs (the test executable carries the window's resources). The destructor releases what the
// program keeps until it ends: the window first, so that no binding outlives its model.
class ControllerGraph
{
public:
    ControllerGraph();
    ~ControllerGraph();
    ControllerGraph(const ControllerGraph &) = delete;
    ControllerGraph &operator=(const ControllerGraph &) = delete;

    bool isValid() const { return m_manager != nullptr; }
    SystemManager *manager() const { return m_manager.get(); }
    NetworkCom *transport() const { return m_transport; }
    QQmlApplicationEngine *engine() const { return m_engine; }
    QObject *window() const;
    PreampModel *model(int slot) const;

private:
    QQmlApplicationEngine *m_engine;
    NetworkCom *m_transport;
    std::unique_ptr<SystemManager> m_manager;
};
