// Writes a small project with a site map, for the accessibility walk:
//   a11y_make_project OUT.zpr
#include "ProjectData.h"
#include "ProjectFile.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    vantora::ProjectData project;
    project.RootHost = QStringLiteral("127.0.0.1:9");
    project.RootPath = QStringLiteral("/");
    project.SiteMapLines = {QStringLiteral("WEBCHARTER"),
                            QStringLiteral("<ROOT>http://127.0.0.1:9/"),
                            QStringLiteral("<PAGE>http://127.0.0.1:9/"),
                            QStringLiteral("<PUSH>"),
                            QStringLiteral("<PAGE>about.html"),
                            QStringLiteral("<PAGE>contact.html"),
                            QStringLiteral("<MAILTO>mailto:owner@example.org"),
                            QStringLiteral("<POP>")};
    const auto result = vantora::WriteProjectFile(QString::fromLocal8Bit(argv[1]), project);
    if (result.Status != vantora::ProjectFileStatus::Ok) {
        std::fprintf(stderr, "cannot write the project\n");
        return 1;
    }
    return 0;
}
