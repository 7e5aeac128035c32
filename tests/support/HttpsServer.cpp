#include "HttpsServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

quint16 pickFreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    return probe.serverPort();
}

bool acceptsConnections(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

} // namespace

HttpsServer::HttpsServer() {
    if (!m_dir.isValid()) {
        m_output = QStringLiteral("Could not create a temporary directory");
        return;
    }
    QDir(m_dir.path()).mkpath(QStringLiteral("root"));
    QDir(m_dir.path()).mkpath(QStringLiteral("tmp"));
    if (generateCertificate()) {
        // The port was free a moment ago; another process may take it before
        // nginx binds it, so try a few.
        for (int attempt = 0; attempt < 5 && !isRunning(); ++attempt) {
            startNginx();
        }
    }
}

HttpsServer::~HttpsServer() { stop(); }

bool HttpsServer::generateCertificate() {
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), m_dir.filePath(QStringLiteral("key.pem")),
                   QStringLiteral("-out"), m_dir.filePath(QStringLiteral("cert.pem")),
                   QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1")});
    const bool finished = openssl.waitForFinished(30000);
    m_output += QString::fromLocal8Bit(openssl.readAll());
    if (!finished || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        m_output += QStringLiteral("\nopenssl failed to generate the certificate");
        return false;
    }
    const QList<QSslCertificate> certificates =
        QSslCertificate::fromPath(m_dir.filePath(QStringLiteral("cert.pem")));
    if (certificates.isEmpty()) {
        m_output += QStringLiteral("\nthe generated certificate could not be read");
        return false;
    }
    m_certificate = certificates.first();
    return true;
}

bool HttpsServer::startNginx() {
    stop();
    m_port = pickFreePort();
    if (m_port == 0) {
        m_output += QStringLiteral("\nno free port on 127.0.0.1");
        return false;
    }
    const QString dir = m_dir.path();
    const QString tmp = m_dir.filePath(QStringLiteral("tmp"));
    // One process, no master: it serves as the user running the tests, so
    // it can read the private document root even when that user is root.
    const QString config = QStringLiteral("master_process off;\n"
                                          "worker_processes 1;\n"
                                          "pid %1/nginx.pid;\n"
                                          "events { worker_connections 64; }\n"
                                          "http {\n"
                                          "  access_log %1/access.log;\n"
                                          "  client_body_temp_path %2/body;\n"
                                          "  proxy_temp_path %2/proxy;\n"
                                          "  fastcgi_temp_path %2/fastcgi;\n"
                                          "  uwsgi_temp_path %2/uwsgi;\n"
                                          "  scgi_temp_path %2/scgi;\n"
                                          "  default_type application/octet-stream;\n"
                                          "  server {\n"
                                          "    listen 127.0.0.1:%3 ssl;\n"
                                          "    ssl_certificate %1/cert.pem;\n"
                                          "    ssl_certificate_key %1/key.pem;\n"
                                          "    root %1/root;\n"
                                          "  }\n"
                                          "}\n")
                               .arg(dir, tmp)
                               .arg(m_port);
    const QString configPath = m_dir.filePath(QStringLiteral("nginx.conf"));
    QFile configFile(configPath);
    if (!configFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        configFile.write(config.toUtf8()) < 0) {
        m_output += QStringLiteral("\ncould not write the nginx configuration");
        return false;
    }
    configFile.close();

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setChildProcessModifier([] {
        // Its own process group, so teardown reaches everything it starts,
        // and killed with the test process if that dies first.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    m_process->start(QStringLiteral("nginx"),
                     {QStringLiteral("-p"), dir, QStringLiteral("-c"), configPath,
                      QStringLiteral("-g"), QStringLiteral("daemon off; error_log stderr;")});
    if (!m_process->waitForStarted(10000)) {
        m_output += QStringLiteral("\nnginx did not start: ") + m_process->errorString();
        m_process.reset();
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (m_process->state() != QProcess::Running) {
            m_process->waitForFinished(1000);
            m_output += QString::fromLocal8Bit(m_process->readAll());
            m_output += QStringLiteral("\nnginx exited with code %1").arg(m_process->exitCode());
            m_process.reset();
            return false;
        }
        if (acceptsConnections(m_port)) {
            return true;
        }
        m_process->waitForFinished(50);
    }
    m_output += QString::fromLocal8Bit(m_process->readAll());
    m_output += QStringLiteral("\nnginx did not accept connections within 10 s");
    stop();
    return false;
}

void HttpsServer::stop() {
    if (!m_process) {
        return;
    }
    const qint64 pid = m_process->processId();
    if (pid > 0 && m_process->state() != QProcess::NotRunning) {
        ::kill(-static_cast<pid_t>(pid), SIGTERM);
        if (!m_process->waitForFinished(3000)) {
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
            m_process->waitForFinished(3000);
        }
    }
    m_output += QString::fromLocal8Bit(m_process->readAll());
    m_process.reset();
}

bool HttpsServer::isRunning() const { return m_process && m_process->state() == QProcess::Running; }

QUrl HttpsServer::baseUrl() const {
    return QUrl(QStringLiteral("https://127.0.0.1:%1").arg(m_port));
}

QUrl HttpsServer::url(const QString& path) const {
    QUrl result = baseUrl();
    result.setPath(path.startsWith(u'/') ? path : u'/' + path);
    return result;
}

void HttpsServer::writeFile(const QString& path, const QByteArray& contents) {
    const QString target = m_dir.filePath(QStringLiteral("root/") + path);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile file(target);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(contents);
    }
}

void HttpsServer::removeFile(const QString& path) {
    QFile::remove(m_dir.filePath(QStringLiteral("root/") + path));
}

int HttpsServer::requestCount(const QString& path) const {
    QFile log(m_dir.filePath(QStringLiteral("access.log")));
    if (!log.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray needle = "\"GET " + path.toUtf8() + " ";
    int count = 0;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.contains(needle)) {
            ++count;
        }
    }
    return count;
}
