#pragma once

#include <QString>

#include <optional>

// A database on a Firebird server, as PENWICK_DATABASE names it: the engine's
// own "host[/port]:/path" or "inet://host[:port]/path". Its user name and
// password come from the client library's ISC_USER and ISC_PASSWORD, or a
// password file that only its owner can read (PENWICK_DATABASE_PASSWORD_FILE);
// the fixed account of the local file is never sent to a server.
struct ServerAddress {
    QString host;
    int port = 3050;
    QString path;

    // The form the client library is given: "inet://host:port/path".
    QString connectionString() const;
    // For messages: the host, the port and the path; never a password.
    QString shown() const;

    // Nullopt for a local path; a malformed address gives `problem`.
    static std::optional<ServerAddress> parse(const QString &text, QString *problem = nullptr);
    // Whether a database name the store was given is a server's.
    static bool isServer(const QString &databaseName);
    // PENWICK_DATABASE, when it names a server: the connection string; empty
    // when it is unset, or with `problem` when it names no server.
    static QString fromEnvironment(QString *problem = nullptr);
};

// What a server connection logs in with.
struct ServerLogin {
    QString user;
    QString password;
    QString problem; // why there is none to use; empty when all is well

    // ISC_USER, and the password from PENWICK_DATABASE_PASSWORD_FILE (a file
    // of this user's that nobody else may read) or else ISC_PASSWORD.
    static ServerLogin fromEnvironment();
};
