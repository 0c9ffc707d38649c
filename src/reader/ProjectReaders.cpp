// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

#include "ProjectReaders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "ReaderApi.h"

namespace kv {

namespace {

// KV_INSTALLED_READERS and KV_BUILT_READERS are the folders of the reader
// folders relative to the programs' own folder (set by the build).
QString readerFolderBelow(const char *base, const QString &name)
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    return QDir::cleanPath(programDir.filePath(QString::fromUtf8(base) + u'/' + name));
}

QString libraryIn(const QString &folder) { return folder + QStringLiteral("/" RF_LIBRARY_NAME); }

} // namespace

QString projectReaderFolder(const QString &name)
{
    for (const char *base : {KV_INSTALLED_READERS, KV_BUILT_READERS}) {
        const QString folder = readerFolderBelow(base, name);
        if (QFileInfo::exists(libraryIn(folder)))
            return folder;
    }
    return {};
}

QString projectReaderLibrary(const QString &name)
{
    const QString folder = projectReaderFolder(name);
    return libraryIn(folder.isEmpty() ? readerFolderBelow(KV_INSTALLED_READERS, name) : folder);
}

QString libraryMissingText(const QString &what, const QString &reason)
{
#if defined(_WIN32)
    // Windows looks in the program's own folder first, then along PATH.
    QString text = QCoreApplication::translate("Messages",
                                               "找不到读卡器库或其中的函数：%1\n\n原因：%2\n\n"
                                               "请把读卡器厂商提供的库 %3 放在本程序所在的目录，"
                                               "或把它所在的目录加入环境变量 PATH。")
                       .arg(what, reason, QStringLiteral(RF_LIBRARY_NAME));
#else
    QString text = QCoreApplication::translate("Messages",
                                               "找不到读卡器库或其中的函数：%1\n\n原因：%2\n\n"
                                               "请安装读卡器厂商提供的库 %3，或把环境变量 LD_LIBRARY_PATH "
                                               "指向它所在的目录。")
                       .arg(what, reason, QStringLiteral(RF_LIBRARY_NAME));
#endif
    // Point at the simulated reader shipped with the tool, for a demonstration.
    if (const QString simulated = projectReaderFolder(QStringLiteral("simulated")); !simulated.isEmpty()) {
#if defined(_WIN32)
        text += QCoreApplication::translate("Messages", "\n\n演示时可使用随本程序提供的模拟读卡器：\nset PATH=%1;%PATH%")
                    .arg(QDir::toNativeSeparators(simulated));
#else
        text += QCoreApplication::translate("Messages", "\n\n演示时可使用随本程序提供的模拟读卡器：\nLD_LIBRARY_PATH=%1")
                    .arg(simulated);
#endif
    }
    return text;
}

} // namespace kv
