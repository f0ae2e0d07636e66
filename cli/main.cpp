// vantora-cli: the crawl, the site-health findings, the XML sitemap and the
// page-by-page comparison of a project's crawls, without a window, for
// scheduled and scripted runs.

#include "Commands.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    return vantora::cli::Run(arguments);
}
