#pragma once

#include <QByteArray>
#include <QProcess>
#include <QSslCertificate>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// A real HTTPS server on 127.0.0.1 for network tests: nginx, run as a child
// process with a self-signed certificate for 127.0.0.1 generated into a
// private temporary directory, serving the files a test writes into its
// document root. The server stops with the fixture (and with the test
// process, should that die first).
class HttpsServer {
public:
    // Generates the certificate and starts nginx; check isRunning() and report
    // output() when it is false.
    HttpsServer();
    ~HttpsServer();

    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    bool isRunning() const;
    // What openssl and nginx printed, for failure messages.
    QString output() const { return m_output; }

    // https://127.0.0.1:PORT
    QUrl baseUrl() const;
    QUrl url(const QString& path) const;
    quint16 port() const { return m_port; }
    // The certificate the server presents; trust exactly this one.
    QSslCertificate certificate() const { return m_certificate; }

    // Writes `contents` at `path` (relative, may contain folders) under the
    // document root.
    void writeFile(const QString& path, const QByteArray& contents);
    void removeFile(const QString& path);

    // How many requests for `path` (as in "/updates/latest.json") the server
    // has logged.
    int requestCount(const QString& path) const;

private:
    bool generateCertificate();
    bool startNginx();
    void stop();

    QTemporaryDir m_dir;
    QString m_output;
    quint16 m_port = 0;
    QSslCertificate m_certificate;
    std::unique_ptr<QProcess> m_process;
};
