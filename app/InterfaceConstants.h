#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "system/PresetLoader.h"

// The controller's fixed facts that the window shows or counts with, published to QML as the
// singleton Octo (com.Corvane.controller 1.0) so that the interface spells none of them itself:
// the window's title (the product's name and version), the number of unit slots and of channels
// per unit, the gain steps and how the operator reads them, the meter level that counts as over,
// the meters' peak modes, the address of a slot without a unit and the rule for an address the
// operator enters, with the text that refuses one, the labels of the converter settings' codes
// (a code is the index of its label), the bits of a recall's load type, the preset stored when
// the window closes, the names of gain groups and the texts of the "Find units" panel (texts
// with %1, %2 ... are filled in with arg()).
//
// A singleton rather than properties of the system manager: the window is loaded, and reads
// these, before the manager exists. Each engine makes its own instance and owns it.
class InterfaceConstants : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString windowTitle READ windowTitle CONSTANT)
    Q_PROPERTY(int slotCount READ slotCount CONSTANT)
    Q_PROPERTY(int channelCount READ channelCount CONSTANT)
    Q_PROPERTY(int maxGain READ maxGain CONSTANT)
    Q_PROPERTY(int lowestGainShown READ lowestGainShown CONSTANT)
    Q_PROPERTY(int highestGainShown READ highestGainShown CONSTANT)
    Q_PROPERTY(int overLevel READ overLevel CONSTANT)
    Q_PROPERTY(QString unsetAddress READ unsetAddress CONSTANT)
    Q_PROPERTY(QString addressRefusal READ addressRefusal CONSTANT)
    Q_PROPERTY(QStringList sampleRateNames READ sampleRateNames CONSTANT)
    Q_PROPERTY(QStringList clkSourceNames READ clkSourceNames CONSTANT)
    Q_PROPERTY(QStringList outFormatNames READ outFormatNames CONSTANT)
    Q_PROPERTY(QStringList clkOutSourceNames READ clkOutSourceNames CONSTANT)
    Q_PROPERTY(QStringList peakModeNames READ peakModeNames CONSTANT)
    Q_PROPERTY(QString closingPreset READ closingPreset CONSTANT)
    Q_PROPERTY(QVariantMap findUnitsTexts READ findUnitsTexts CONSTANT)

public:
    // How the meters show peaks, in the order of peakModeNames: not at all, fading out about a
    // second after the last rise, or held until cleared.
    enum PeakMode
    {
        NoPeak,
        PeakDecay,
        PeakHold
    };
    Q_ENUM(PeakMode)

    // The bits of a recall's load type (PresetLoader), which the recall dialog adds up.
    enum LoadBit
    {
        LoadAddresses = PresetLoader::addressesBit,
        LoadSettings = PresetLoader::settingsBit
    };
    Q_ENUM(LoadBit)

    explicit InterfaceConstants(QObject *parent = nullptr);

    // The product's name and its version without the patch number: "... v1.3".
    QString windowTitle() const;
    int slotCount() const;
    int channelCount() const;
    int maxGain() const;
    int lowestGainShown() const;
    int highestGainShown() const;
    int overLevel() const;
    QString unsetAddress() const;
    // UnitAddress::isValid: the setup list stores nothing else as a unit's address.
    Q_INVOKABLE bool isUnitAddress(const QString &address) const;
    QString addressRefusal() const;
    QStringList sampleRateNames() const;
    QStringList clkSourceNames() const;
    QStringList outFormatNames() const;
    QStringList clkOutSourceNames() const;
    QStringList peakModeNames() const;
    QString closingPreset() const;
    QVariantMap findUnitsTexts() const;

    // A gain step as the operator reads it, and a reading typed back to its step (GainScale).
    Q_INVOKABLE int gainShown(int step) const;
    Q_INVOKABLE int gainStep(int reading) const;
    // The name a new gain group gets: "Group 3" for the third.
    Q_INVOKABLE QString groupName(int number) const;
};
