#include "sim/UnitAnswer.h"

#include <QJsonDocument>

UnitAnswer UnitAnswer::json(const QJsonObject &document)
{
    UnitAnswer answer;
    answer.contentType = QByteArrayLiteral("application/json");
    answer.body = QJsonDocument(document).toJson(QJsonDocument::Compact);
    return answer;
}

UnitAnswer UnitAnswer::text(int status, const QString &line)
{
    UnitAnswer answer;
    answer.status = status;
    answer.contentType = QByteArrayLiteral("text/plain; charset=utf-8");
    answer.body = line.toUtf8() + '\n';
    return answer;
}
