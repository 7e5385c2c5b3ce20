// tallyport-makedb: makes an empty Tallyport database from the schema file.
#include <db/SchemaFile.h>

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool replace = args.removeAll(QStringLiteral("--replace")) > 0;
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: tallyport-makedb [--replace] <schema.sql> <database file>\n";
        return 2;
    }
    QString error;
    if (!CreateDatabaseFromSchema(args.at(0), args.at(1), replace, error)) {
        err << "tallyport-makedb: " << error << "\n";
        return 1;
    }
    return 0;
}
