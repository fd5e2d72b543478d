#include "app/InterfaceConstants.h"

#include "device/ConverterValues.h"
#include "device/UnitAddress.h"
#include "system/SystemManager.h"

InterfaceConstants::InterfaceConstants(QObject *parent) : QObject(parent) {}

int InterfaceConstants::slotCount() const
{
    return SystemManager::slotCount;
}

QString InterfaceConstants::unsetAddress() const
{
    return UnitAddress::unset;
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
