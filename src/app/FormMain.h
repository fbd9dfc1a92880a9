#pragma once

#include "Notifier.h"
#include "online/OnlineChecks.h"
#include "ui/NoteListHost.h"

#include <QMainWindow>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class QTreeView;
class NoteListModel;
class TAlarmChecker;
class TBlinkingItems;
class TDM;

// Intervals and hooks that tests and benchmarks replace; the program uses the
// defaults.
struct FormMainOptions {
    int checkerIntervalMs = 10000;
    int blinkIntervalMs = 500;
    bool startThreads = true;
    // -1: ask the desktop whether it has a notification area; 0 or 1: assume so.
    int trayAvailable = -1;
    // Builds the window's controls and fills the list at once instead of at
    // the first showing, for tests and benchmarks that work on a hidden list.
    bool buildWindow = false;
    // Makes only the tray icon; start() makes the rest once the database is
    // open. For a start whose access check is answered before the attach.
    bool trayOnly = false;
    // How the program ends its event loop; tests record the request instead.
    std::function<void()> quit;
    // The once-per-run update and publicity checks.
    OnlineOptions online;
};

// The main window: the note list with its search box, the commands, the tray
// icon, and the window state that carries over between runs.
//
// A start shows only the tray icon, so the window's controls are built when it
// is first shown (ensureWindowBuilt); until then the list pointers are null and
// the list is not read. The data module's connection is open (or has failed)
// before the window is made.
class TFormMain final : public QMainWindow, public NoteListHost
{
    Q_OBJECT

public:
    explicit TFormMain(TDM &dm, const FormMainOptions &options = FormMainOptions());
    ~TFormMain() override;

    // The window's state, the alarm threads and the online checks: what needs
    // the database. The constructor calls it unless `trayOnly` is set.
    void start();

    // Builds the controls and fills the list; once only.
    void ensureWindowBuilt();
    bool windowBuilt() const
    {
        return m_windowBuilt;
    }
    void setVisible(bool visible) override;

    // Note list and search.
    bool FillNoteList(int rememberedId) override;
    bool FillNoteListBySearch(const QString &text, int rememberedId);
    void RefreshNoteList() override;
    void ToggleRunningAlarmImages();
    void UpdateCommandStates();

    // Commands.
    bool ShowMainWindow();
    void NewNote();
    void DeleteSelectedNote();
    void NotatkaPokazEdytujExecute();
    void UkryjExecute();
    void TrayIconClick();
    void AnnounceAlarms();
    // Brings up the window with the note of a clicked alarm notification.
    void showAlarmNote(int id);
    // "Done" and "Snooze 10 min" of an alarm notification, on each of its notes.
    void alarmsDone(const QList<int> &ids);
    void alarmsSnoozed(const QList<int> &ids);
    void CloseProgram();

    bool PauseAlarmChecker();
    void ResumeAlarmChecker();

    void RestoreWindowGeometry();
    void RestoreColumnWidths();
    void SaveWindowGeometry();
    void SaveColumnWidths();

    // The ID of the selected row, or -1.
    int selectedRowId() const;
    QVector<int> listIds() const override;
    int selectedNoteId() const override
    {
        return SelectedNoteId;
    }
    void setSelectedNoteId(int id) override
    {
        SelectedNoteId = id;
    }
    bool searchTextTyped() const override;
    void focusNoteList() override;

    TDM &DM;
    int SelectedNoteId = 0;
    bool TrayClickBusy = false;
    QString AlarmBalloonTitle;
    QString AlarmBalloonText;

    QTreeView *LVNotatki = nullptr;
    NoteListModel *ListModel = nullptr;
    QLineEdit *SzukanyCiag = nullptr;
    QToolButton *SBDodaj = nullptr;
    QToolButton *SBUsun = nullptr;
    QMenu *Plik = nullptr;
    QMenu *Info = nullptr;
    QAction *MMNowaNotatka = nullptr;
    QAction *MMUsun = nullptr;
    QAction *MMPodgladEdycja = nullptr;
    QAction *MMHaslo = nullptr;
    QAction *MMZakoncz = nullptr;
    QAction *OProgramie = nullptr;
    QMenu *PopupMenu = nullptr;
    QAction *PMOtworz = nullptr;
    QAction *PMNowaNotatka = nullptr;
    QAction *PMZakoncz = nullptr;
    QAction *NotatkaPokazEdytuj = nullptr;
    QAction *Ukryj = nullptr;
    QSystemTrayIcon *TrayIcon = nullptr;
    QTimer *tUpdateAndPublicity = nullptr;
    OnlineChecks *Online = nullptr;
    Notifier *BalloonNotifier = nullptr;

    TAlarmChecker *alarmChecker() const
    {
        return m_alarmChecker;
    }
    TBlinkingItems *blinkingItems() const
    {
        return m_blinkingItems;
    }

    // Whether the desktop had no notification area, so hiding minimises.
    bool trayMissing() const
    {
        return m_trayMissing;
    }
    bool isClosing() const
    {
        return m_closing;
    }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Restores the window state and starts the alarm threads.
    void FormCreate();
    void FormDestroy();
    void buildWidgets();
    void buildMenus();
    void buildTray();
    void SzukanyCiagChange();
    void LVNotatkiSelectItem(int row);
    void PlikClick();
    void menuShortcut(QAction *item);
    // F10: the focus on the menu bar, its first menu highlighted.
    void enterMenuBar();
    // Alt+F, Alt+I: the menu open with its first item highlighted.
    void openMenu(QMenu *menu);
    void RemoveDownloadedFiles();
    void hideMainWindow();
    void watchForTray();
    bool fill(const QString *searchText, int rememberedId);
    void tellBlinkingWhatRuns();
    // One write of an alarm's state; a failure is reported only.
    void writeAlarm(const std::function<void()> &write);
    // Writes `change` for each alarm, then shows what it did.
    void changeAlarms(const QList<int> &ids, const std::function<void(int id)> &change);
    void resizeOuter(QSize outer);
    static QPoint reachablePlace(const QRect &frame);

    FormMainOptions m_options;
    TAlarmChecker *m_alarmChecker = nullptr;
    TBlinkingItems *m_blinkingItems = nullptr;
    QTimer *m_trayWatch = nullptr;
    QTimer *m_changedElsewhere = nullptr;
    int m_titleWidth;
    int m_dateWidth;
    int m_editorsOpen = 0;       // stacked editors, each holding the checker paused
    NotifiedAlarms m_announced;  // the notes of the announcement under way
    QSize m_frame = QSize(0, 0); // what the window manager's frame adds to the size
    QPoint m_place;              // where the window was placed at the start
    bool m_trayMissing = false;
    bool m_runningShown = false;
    bool m_windowBuilt = false;
    bool m_closing = false;
};
