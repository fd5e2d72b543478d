#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QUrl>

// A finished reply from a given URL with a given body, or a failed one, handed to the transport
// exactly as the request manager hands it a real reply, without a socket: the sorting of replies
// can be pinned (and fuzzed) for every kind of document without a server.
class FakeReply : public QNetworkReply
{
public:
    FakeReply(const QUrl &url, const QByteArray &body, NetworkError error = NoError,
              const QString &errorText = QStringLiteral("Fake failure"));

    void abort() override {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;

private:
    QByteArray m_body;
    qint64 m_offset = 0;
};
