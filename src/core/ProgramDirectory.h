#pragma once

#include <QString>

class InstanceLock;

// Where the program keeps its files (data files, wexa.mdb, the settings files).
struct ProgramDirectory {
    QString path;
    // Chosen with --dir, or the user's data folder of an installed copy: a missing database is
    // made there from the built-in schema. The portable layout (the executable's own directory)
    // keeps its rule: the database is delivered with the program and never made.
    bool makesDatabase = false;
};

// The program directory for a run: the one given (it must exist and be writable), else the
// user's data folder when the program runs from an installed location (made when missing), else
// the executable's own directory. False with a message for the operator.
bool ChooseProgramDirectory(const QString &given, const QString &executableDirectory,
                            ProgramDirectory &chosen, QString &error);

// True when the executable runs from an installed location: the shared files (the schema) sit
// in ../share/tallyport beside its bin directory.
bool IsInstalledLayout(const QString &executableDirectory);

// Makes an empty wexa.mdb from the built-in schema when the directory has none and may make
// one; `made` then says so. False with the reason when it could not be made.
bool MakeMissingDatabase(const ProgramDirectory &directory, QString &made, QString &error);

// All three for a run: chooses the directory, takes its lock and makes a missing database
// (`made` then says so). False with a message for the operator; the run must not go on.
bool OpenProgramDirectory(const QString &given, const QString &executableDirectory, InstanceLock &lock,
                          ProgramDirectory &chosen, QString &made, QString &error);
