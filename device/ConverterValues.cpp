#include "device/ConverterValues.h"

namespace ConverterValues {

const QStringList &sampleRates()
{
    static const QStringList labels{
        QStringLiteral("off"),      QStringLiteral("44.1 kHz"), QStringLiteral("48 kHz"),
        QStringLiteral("88.2 kHz"), QStringLiteral("96 kHz"),   QStringLiteral("176.4 kHz"),
        QStringLiteral("192 kHz"),  QStringLiteral("USB"),      QStringLiteral("Dante")};
    return labels;
}

const QStringList &clockSources()
{
    static const QStringList labels{QStringLiteral("Internal"), QStringLiteral("Word"),
                                    QString::fromUtf8("Word - 75\u03a9"), QStringLiteral("Dante")};
    return labels;
}

const QStringList &outputFormats()
{
    static const QStringList labels{QStringLiteral("Consumer"), QStringLiteral("Professional")};
    return labels;
}

const QStringList &clockOutSources()
{
    static const QStringList labels{QStringLiteral("Internal"), QStringLiteral("External")};
    return labels;
}

} // namespace ConverterValues
