// tallyport-makedb: makes an empty Tallyport database from the schema file.
#include <core/ProgramVersion.h>
#include <db/SchemaFile.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallyport-makedb"));
    QCoreApplication::setApplicationVersion(ProgramVersion());
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Makes an empty Tallyport database (wexa.mdb) from the schema file that comes with "
                       "Tallyport (schema.sql). An existing database file is left alone unless --replace "
                       "is given."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption replace(QStringLiteral("replace"),
                                     QStringLiteral("Replace the database file if it exists."));
    parser.addOption(replace);
    parser.addPositionalArgument(QStringLiteral("schema"), QStringLiteral("The schema file (schema.sql)."));
    parser.addPositionalArgument(QStringLiteral("database"), QStringLiteral("The database file to make."));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    QTextStream err(stderr);
    if (args.size() != 2) {
        err << "usage: tallyport-makedb [--replace] <schema.sql> <database file>\n";
        return 2;
    }
    QString error;
    if (!CreateDatabaseFromSchema(args.at(0), args.at(1), parser.isSet(replace), error)) {
        err << "tallyport-makedb: " << error << "\n";
        return 1;
    }
    return 0;
}
