#pragma once

#include <QString>

// Where the notes live. A dbn.ib beside the executable wins (the portable
// layout); otherwise the per-user file under the XDG data folder, which the
// first start copies from the empty database supplied with the program. An
// installed program's own folder is not its users' to write.
namespace DataLocation {

enum class Source {
    Portable,   // dbn.ib beside the executable
    PerUser,    // the per-user file exists
    FirstStart, // the per-user file is to be copied from the supplied one
    None,       // no file anywhere: the program runs without a database
    Server,     // PENWICK_DATABASE names a database on a server
};

struct Decision {
    Source source = Source::None;
    QString path;     // the database to open (for None: where the notes would be)
    QString supplied; // for FirstStart: the file to copy
    QString problem;  // PENWICK_DATABASE named no server; for the user
};

// Looks only at what exists; changes nothing. `suppliedFile` may be empty.
Decision decide(const QString &executableDir, const QString &dataHome, const QString &suppliedFile);

struct Result {
    QString path;    // the database to open
    QString problem; // for the user, empty when all is well
};

// Carries out a decision: for a first start, copies the supplied file into
// place under a temporary name in the same folder and renames it, never over
// an existing file; a failure leaves no half-made file and says why.
Result carryOut(const Decision &decision);

// The folder of the running executable, found without the application object.
QString executableDir();
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
QString dataHome();
// A file the program is supplied with, `relative` to share/: under
// <prefix>/share for an installed program in <prefix>/bin, under share/
// beside the program in the build tree. Empty when neither exists.
QString sharedFile(const QString &executableDir, const QString &relative);
// The supplied empty database: <prefix>/share/penwick/dbn.ib for an installed
// program in <prefix>/bin; in the build tree it is made in share/penwick/
// beside the program. Empty when neither exists.
QString suppliedFile(const QString &executableDir);

// decide() for the running program; a database on a server when
// PENWICK_DATABASE names one (see ServerAddress).
Decision decideHere();
// decide() and carryOut() for the running program, with a diagnostic line
// when there is a problem.
Result locate();

} // namespace DataLocation
