// Resident memory of dialogs opened and closed many times (offscreen): for
// each dialog, the RSS after its first opening and after the last, and the
// growth between them.
//   bench_dialogs [OPENINGS]   (default 1000; QT_QPA_PLATFORM picks the platform)
#include "access/FormHaslo.h"
#include "access/FormLogowanie.h"
#include "app/FormMain.h"
#include "notes/FormNotatka.h"
#include "notes/FormUsuwanie.h"
#include "online/OProgramie.h"
#include "store/DataModule.h"
#include "store/Firebird.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

double rssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// Shows the dialog modally as the program does, lets it paint, and closes it
// from its own event loop.
void openAndClose(QDialog &dialog)
{
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.repaint();
        dialog.reject();
    });
    dialog.exec();
}

void measure(const char *name, int openings, const std::function<void()> &openOnce)
{
    openOnce();
    QCoreApplication::processEvents();
    const double first = rssMiB();
    for (int i = 1; i < openings; ++i)
        openOnce();
    QCoreApplication::processEvents();
    const double last = rssMiB();
    std::printf("%-16s %8d %14.1f %14.1f %12.2f\n", name, openings, first, last, last - first);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    // Offscreen unless told otherwise; the desktop's own platform is the one
    // that counts (make bench runs it on the headless X server).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int openings = argc > 1 ? std::max(2, std::atoi(argv[1])) : 1000;
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/dbn.ib");
    Firebird::Connection::createFromScript(path, QStringLiteral(PENWICK_SCHEMA_PATH));
    Firebird::Connection(path).execute(
        QStringLiteral("INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina) VALUES (1, 'Note', 'Body', "
                       "TIMESTAMP '2025-06-01 12:00:00')"));
    {
        TDM dm(path);
        FormMainOptions options;
        options.startThreads = false;
        options.trayAvailable = 1;
        options.buildWindow = true;
        options.online.ServiceBaseUrl.clear(); // no call home from here
        TFormMain form(dm, options);
        form.FillNoteList(1);

        std::printf("%-16s %8s %14s %14s %12s\n", "dialog", "openings", "RSS first MiB", "RSS last MiB", "growth MiB");
        measure("note editor", openings, [&] {
            TFormNotatka editor(dm, form);
            editor.NoteId = 1;
            editor.LoadNote(1);
            openAndClose(editor);
        });
        measure("New note", openings, [&] {
            QTimer::singleShot(0, &form, [] {
                if (QWidget *editor = QApplication::activeModalWidget()) {
                    editor->repaint();
                    editor->close();
                }
            });
            form.NewNote();
        });
        measure("delete dialog", openings, [&] {
            TFormUsuwanie dialog(dm, form);
            dialog.DeleteNoteId = 1;
            openAndClose(dialog);
        });
        measure("login", openings, [&] {
            TFormLogowanie dialog(dm);
            openAndClose(dialog);
        });
        measure("password dialog", openings, [&] {
            TFormHaslo dialog(dm);
            openAndClose(dialog);
        });
        measure("about dialog", openings, [&] {
            TFormOProgramie dialog(QStringLiteral("http://127.0.0.1:9/"));
            openAndClose(dialog);
        });
    }
    return 0;
}
