// The model's report slots: how each kind of reply document from the transport changes the unit,
// its channels and its link. Every report first checks that it carries this model's address.

#include "model/PreampModel.h"

#include <QDebug>
#include <QJsonArray>

#include "device/Logging.h"
#include "device/ReplyDocument.h"

namespace {

// What every channel entry carries alike: the switches, the over and the channel's number.
void applySwitches(Channel *ch, const QJsonObject &entry)
{
    using namespace ReplyDocument;
    ch->setPhantom(readSwitch(entry.value(phantomKey)));
    ch->setPhase(readSwitch(entry.value(phaseKey)));
    ch->setRibbon(readSwitch(entry.value(ribbonKey)));
    ch->setOver(readSwitch(entry.value(overKey)));
    ch->setNumber(readInt(entry.value(channelIdKey)));
}

// One channel of a status report; a grouped channel's group gain follows the reported gain.
void applyStatusEntry(Channel *ch, const QJsonObject &entry)
{
    using namespace ReplyDocument;
    if (!ch)
        return;
    applySwitches(ch, entry);
    const int reported = readInt(entry.value(gainKey));
    ch->setGain(reported);
    ch->noteReportedGain(reported, true);
    if (ch->group())
        ch->followReportedGain(reported);
    // Names with a blank are never taken over from a unit: the channel strips cannot hold them.
    const QString name = readText(entry.value(channelNameKey));
    if (!name.contains(QLatin1Char(' ')) && name != ch->name())
        ch->setName(name.trimmed());
}

// One channel of a channel report, which leaves a grouped channel's group gain as it is.
void applyReportedEntry(Channel *ch, const QJsonObject &entry)
{
    using namespace ReplyDocument;
    if (!ch)
        return;
    applySwitches(ch, entry);
    const int reported = readInt(entry.value(gainKey));
    if (ch->gain() != reported)
        ch->setGain(reported);
    ch->noteReportedGain(reported, false);
    const QString name = readText(entry.value(channelNameKey));
    if (!name.contains(QLatin1Char(' ')))
        ch->setName(name.trimmed());
}

} // namespace

// A report counts when it carries this model's address and is not empty; an empty one is logged.
bool PreampModel::isReportForThisUnit(const QJsonObject &document, const QString &address) const
{
    if (!isOwnAddress(address))
        return false;
    if (document.isEmpty()) {
        qCDebug(lcUnit) << "JSON Empty";
        return false;
    }
    return true;
}

void PreampModel::statusUpdated(const QJsonObject &document, const QString &address)
{
    if (!isOwnAddress(address))
        return;
    if (m_link->isCommunicating() && !m_link->isPinged())
        m_link->restartWatchdog();
    if (document.isEmpty()) {
        qCDebug(lcUnit) << "JSON Empty";
        return;
    }
    m_link->reportAccepted();

    const QJsonObject sys = document.value(ReplyDocument::sysKey).toObject();
    m_preampID = ReplyDocument::readInt(sys.value(ReplyDocument::unitIdKey));
    m_preampName = ReplyDocument::readText(sys.value(ReplyDocument::unitNameKey));
    if (m_link->isPinged()) {
        m_live->follow(*this);
        emit pingReceived();
        m_link->pingAnswered();
        qCDebug(lcUnit) << "Ping Received on " << m_ipAddr;
        qCDebug(lcUnit) << "Setting Pinged to false";
        return;
    }
    const QJsonArray entries = document.value(ReplyDocument::channelsKey).toArray();
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        applyStatusEntry(channelForEntry(entry), entry);
    }
    applyConverter(document.value(ReplyDocument::adcKey).toObject());
    emitRowsChanged(0, 0);
}

void PreampModel::channelUpdated(const QJsonObject &document, const QString &address)
{
    if (!isReportForThisUnit(document, address))
        return;
    if (m_link->isCommunicating())
        m_link->restartWatchdog();
    m_link->reportAccepted();

    const QJsonArray entries = document.value(ReplyDocument::channelsKey).toArray();
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        applyReportedEntry(channelForEntry(entry), entry);
    }
    emitRowsChanged(0, channelCount - 1);
}

void PreampModel::adcUpdated(const QJsonObject &document, const QString &address)
{
    if (!isReportForThisUnit(document, address))
        return;
    if (m_link->isCommunicating()) {
        qCDebug(lcUnit) << "Strt timeout Timer: adc updated";
        m_link->restartWatchdog();
    }
    m_link->reportAccepted();

    applyConverter(document.value(ReplyDocument::adcKey).toObject());
    emitRowsChanged(0, 0);
}

void PreampModel::newMeterData(const QJsonObject &document, const QString &address)
{
    if (!isReportForThisUnit(document, address))
        return;
    m_link->reportAccepted();

    const QJsonObject meter = document.value(ReplyDocument::meterKey).toObject();
    if (m_channels.size() < channelCount) {
        qCDebug(lcUnit) << "Channels Not Initialized";
        return;
    }
    for (int k = 1; k <= channelCount; ++k)
        m_channels.at(k - 1)->setMeterLevel(
            ReplyDocument::readInt(meter.value(QString::number(k))));
    for (Channel *ch : qAsConst(m_channels)) {
        if (ch->meterLevel() == overLevel)
            ch->setOver(true);
    }
    emitRowsChanged(0, 0);
}

void PreampModel::errorReceived(const QString &error, const QString &address)
{
    if (!isOwnAddress(address))
        return;
    qCDebug(lcUnit) << "Preamp" << m_preampID << "Communication Error" << error;
    // The failed request may have been one that asked for a gain: it may never come.
    for (Channel *ch : qAsConst(m_channels))
        ch->dropRequestedGain();
    emit netErr();
    emitRowsChanged(0, channelCount - 1);
}

Channel *PreampModel::channelForEntry(const QJsonObject &entry) const
{
    // A unit numbers its channels 1 to 8; an entry outside that addresses no channel and is
    // skipped rather than allowed to touch another one.
    const int row = ReplyDocument::readInt(entry.value(ReplyDocument::channelNoKey)) - 1;
    return isChannelRow(row) ? m_channels.at(row) : nullptr;
}

void PreampModel::applyConverter(const QJsonObject &adc)
{
    using namespace ReplyDocument;
    m_sampleRate = readInt(adc.value(sampleRateKey));
    m_clkSource = readInt(adc.value(clockSourceKey));
    m_clkStatus = readLocked(adc.value(clockStatusKey));
    m_clkOutSource = readInt(adc.value(clockOutKey));
    m_outFormat = readInt(adc.value(formatKey));
}
