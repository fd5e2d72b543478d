#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The controller's fixed facts that the window shows or counts with, published to QML as the
// singleton Octo (com.Corvane.controller 1.0) so that the interface spells none of them itself:
// the number of unit slots and of channels per unit, the highest gain step, the meter level that
// counts as over, the address of a slot without a unit and the rule for an address the operator
// enters, with the text that refuses one, the labels of the converter settings' codes (a code is
// the index of its label) and the texts of the "Find units" panel (texts with %1, %2 ... are
// filled in with arg()).
//
// A singleton rather than properties of the system manager: the window is loaded, and reads
// these, before the manager exists. Each engine makes its own instance and owns it.
class InterfaceConstants : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int slotCount READ slotCount CONSTANT)
    Q_PROPERTY(int channelCount READ channelCount CONSTANT)
    Q_PROPERTY(int maxGain READ maxGain CONSTANT)
    Q_PROPERTY(int overLevel READ overLevel CONSTANT)
    Q_PROPERTY(QString unsetAddress READ unsetAddress CONSTANT)
    Q_PROPERTY(QString addressRefusal READ addressRefusal CONSTANT)
    Q_PROPERTY(QStringList sampleRateNames READ sampleRateNames CONSTANT)
    Q_PROPERTY(QStringList clkSourceNames READ clkSourceNames CONSTANT)
    Q_PROPERTY(QStringList outFormatNames READ outFormatNames CONSTANT)
    Q_PROPERTY(QStringList clkOutSourceNames READ clkOutSourceNames CONSTANT)
    Q_PROPERTY(QVariantMap findUnitsTexts READ findUnitsTexts CONSTANT)

public:
    explicit InterfaceConstants(QObject *parent = nullptr);

    int slotCount() const;
    int channelCount() const;
    int maxGain() const;
    int overLevel() const;
    QString unsetAddress() const;
    // UnitAddress::isValid: the setup list stores nothing else as a unit's address.
    Q_INVOKABLE bool isUnitAddress(const QString &address) const;
    QString addressRefusal() const;
    QStringList sampleRateNames() const;
    QStringList clkSourceNames() const;
    QStringList outFormatNames() const;
    QStringList clkOutSourceNames() const;
    QVariantMap findUnitsTexts() const;

    // A gain step as the operator reads it: -6 for step 0, otherwise the step plus one, steps
    // beyond the highest read as the highest.
    static int shownGain(int step);
    Q_INVOKABLE int gainShown(int step) const { return shownGain(step); }
};
