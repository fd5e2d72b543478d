#include "support/FakeReply.h"

#include <cstring>

FakeReply::FakeReply(const QUrl &url, const QByteArray &body, NetworkError error,
                     const QString &errorText)
    : m_body(body)
{
    setUrl(url);
    setOperation(QNetworkAccessManager::GetOperation);
    open(QIODevice::ReadOnly); // before setError: opening clears the error text
    if (error != NoError)
        setError(error, errorText);
    setFinished(true);
}

qint64 FakeReply::bytesAvailable() const
{
    return m_body.size() - m_offset + QIODevice::bytesAvailable();
}

qint64 FakeReply::readData(char *data, qint64 maxSize)
{
    const qint64 n = qMin(maxSize, qint64(m_body.size()) - m_offset);
    if (n <= 0)
        return 0;
    std::memcpy(data, m_body.constData() + m_offset, size_t(n));
    m_offset += n;
    return n;
}
