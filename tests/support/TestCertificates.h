#pragma once
// A throwaway certificate authority and a certificate for 127.0.0.1 signed
// by it, made with openssl in dir: ca.pem, site.pem and site.key, for the
// tests that put a real TLS server in front of what they test.
#include <QFile>
#include <QProcess>
#include <QStringList>

namespace vantora::testing {

inline bool MakeTestCertificates(const QString& dir) {
    auto run = [&](const QStringList& arguments) {
        QProcess openssl;
        openssl.setWorkingDirectory(dir);
        openssl.start("openssl", arguments);
        return openssl.waitForFinished(20000) && openssl.exitCode() == 0;
    };
    QFile extensions(dir + "/site.ext");
    if (!extensions.open(QIODevice::WriteOnly))
        return false;
    extensions.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
    extensions.close();
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return run(QStringList{"req", "-x509"} + ec +
               QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj",
                           "/CN=Throwaway test authority", "-addext",
                           "basicConstraints=critical,CA:TRUE", "-addext",
                           "keyUsage=critical,keyCertSign,cRLSign"}) &&
           run(QStringList{"req"} + ec +
               QStringList{"-keyout", "site.key", "-out", "site.csr", "-subj", "/CN=127.0.0.1"}) &&
           run({"x509", "-req", "-in", "site.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", "site.pem", "-days", "2", "-extfile", "site.ext"});
}

} // namespace vantora::testing
