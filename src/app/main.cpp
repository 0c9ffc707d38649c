#include <QApplication>

#include "Form1.h"
#include "LibraryReader.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kv718st-demo"));

    LibraryReader reader;
    Form1 form(reader);
    reader.setMissNotifier(
        [&form](const LibraryReader::Miss &miss) { form.showLibraryMissing(miss.what, miss.reason); });
    form.show();
    return QApplication::exec();
}
