#include "app/InterfaceConstants.h"

#include "device/Commands.h"
#include "device/ConverterValues.h"
#include "device/UnitAddress.h"
#include "model/PreampModel.h"
#include "system/GainScale.h"
#include "system/SystemManager.h"

#include "Product.h"

InterfaceConstants::InterfaceConstants(QObject *parent) : QObject(parent) {}

QString InterfaceConstants::windowTitle() const
{
    return QStringLiteral("%1 v%2.%3")
        .arg(QLatin1String(Product::name))
        .arg(Product::majorVersion)
        .arg(Product::minorVersion);
}

int InterfaceConstants::slotCount() const
{
    return SystemManager::slotCount;
}

int InterfaceConstants::channelCount() const
{
    return Commands::channelCount;
}

int InterfaceConstants::maxGain() const
{
    return Commands::maxGain;
}

int InterfaceConstants::lowestGainShown() const
{
    return GainScale::lowestShown;
}

int InterfaceConstants::highestGainShown() const
{
    return GainScale::highestShown;
}

int InterfaceConstants::gainShown(int step) const
{
    return GainScale::shown(step);
}

int InterfaceConstants::gainStep(int reading) const
{
    return GainScale::stepOf(reading);
}

int InterfaceConstants::overLevel() const
{
    return PreampModel::overLevel;
}

QString InterfaceConstants::unsetAddress() const
{
    return UnitAddress::unset;
}

bool InterfaceConstants::isUnitAddress(const QString &address) const
{
    return UnitAddress::isValid(address);
}

QString InterfaceConstants::addressRefusal() const
{
    return QStringLiteral("\"%1\" is not a unit address: enter a.b.c.d or a host name, "
                          "optionally with :port (1 to %2)")
        .arg(QStringLiteral("%1"), QString::number(UnitAddress::highestPort));
}

QStringList InterfaceConstants::sampleRateNames() const
{
    return ConverterValues::sampleRates();
}

QStringList InterfaceConstants::clkSourceNames() const
{
    return ConverterValues::clockSources();
}

QStringList InterfaceConstants::outFormatNames() const
{
    return ConverterValues::outputFormats();
}

QStringList InterfaceConstants::clkOutSourceNames() const
{
    return ConverterValues::clockOutSources();
}

QStringList InterfaceConstants::peakModeNames() const
{
    return {QStringLiteral("No Peak"), QStringLiteral("Peak Decay"), QStringLiteral("Peak Hold")};
}

QString InterfaceConstants::closingPreset() const
{
    return PresetLoader::closingPresetText;
}

QString InterfaceConstants::groupName(int number) const
{
    return QStringLiteral("Group %1").arg(number);
}

QVariantMap InterfaceConstants::findUnitsTexts() const
{
    return {
        {QStringLiteral("title"), QStringLiteral("Find units")},
        {QStringLiteral("range"), QStringLiteral("Range:")},
        {QStringLiteral("start"), QStringLiteral("Start")},
        {QStringLiteral("stop"), QStringLiteral("Stop")},
        {QStringLiteral("add"), QStringLiteral("Add")},
        {QStringLiteral("close"), QStringLiteral("Close")},
        {QStringLiteral("address"), QStringLiteral("IP Address")},
        {QStringLiteral("unitId"), QStringLiteral("ID")},
        {QStringLiteral("name"), QStringLiteral("Preamp Name")},
        {QStringLiteral("listed"), QStringLiteral("listed")},
        {QStringLiteral("progress"), QStringLiteral("%1 of %2 addresses tried, %3 units found")},
        {QStringLiteral("added"), QStringLiteral("%1 added to the setup list")},
        {QStringLiteral("notFitted"),
         QStringLiteral("%1 did not fit: the setup list holds %2 units at most")},
    };
}
