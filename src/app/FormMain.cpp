#include "FormMain.h"

#include "AnchorLayout.h"
#include "NoteListModel.h"
#include "Notifier.h"
#include "access/FormHaslo.h"
#include "alarms/AlarmChecker.h"
#include "alarms/DueRules.h"
#include "notes/FormNotatka.h"
#include "notes/FormUsuwanie.h"
#include "store/Clock.h"
#include "store/DataModule.h"
#include "store/NoteRules.h"
#include "store/Sql.h"
#include "ui/CharacterLimit.h"
#include "ui/DialogLook.h"
#include "ui/MessageBox.h"
#include "ui/TextEntry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>
#include <QStyleOptionMenuItem>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

// What the list shows after each refill, and when blinking starts and stops;
// off unless asked for (QT_LOGGING_RULES="penwick.list.debug=true").
Q_LOGGING_CATEGORY(lcList, "penwick.list", QtInfoMsg)

namespace {

const QColor kCream(255, 251, 240);
const QColor kOddRow(237, 247, 248);

constexpr int kDefaultWidth = 300;
constexpr int kDefaultHeight = 400;
// Sizes of the whole window, its frame included.
constexpr QSize kMinimumOuter(300, 350);
constexpr int kDefaultTitleWidth = 155;
constexpr int kDefaultDateWidth = 100;
constexpr int kMinimumColumnWidth = 100;
constexpr int kTrayPollMs = 2000;
// Changes of other programs that come within this time give one refill.
constexpr int kChangeSettleMs = 20;

// Resumes the checker on every way out of a command that paused it. The tray
// menu still works under an open editor, so editors can stack: only the last
// one to close lets the checker go on, or it would fire an alarm under the
// editor still open below.
class CheckerResume final
{
public:
    CheckerResume(TFormMain &form, int &editorsOpen)
        : m_form(form)
        , m_editorsOpen(editorsOpen)
    {
        ++m_editorsOpen;
    }
    ~CheckerResume()
    {
        if (--m_editorsOpen == 0)
            m_form.ResumeAlarmChecker();
    }
    Q_DISABLE_COPY_MOVE(CheckerResume)

private:
    TFormMain &m_form;
    int &m_editorsOpen;
};

// Alt pressed and released alone puts the focus on the menu bar, where the
// arrow keys and Enter work, as on the platform the program comes from; the
// style Qt picks here leaves that off.
class MenuBarKeys final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        // The style highlights a title only while its menu is open; the one
        // the keys are on is shown the same way.
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (element == CE_MenuBarItem && item && (item->state & State_Selected) && widget && widget->hasFocus()) {
            QStyleOptionMenuItem keyed = *item;
            keyed.state |= State_Sunken;
            QProxyStyle::drawControl(element, &keyed, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

Qt::WindowFlags windowFlagsFor(bool trayMissing)
{
    // A tool window has no taskbar entry; without a tray the taskbar entry is
    // the only way back to a minimised window.
    const Qt::WindowFlags frame = Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                                  | Qt::WindowCloseButtonHint;
    return (trayMissing ? Qt::Window : Qt::Tool) | frame;
}

} // namespace

TFormMain::TFormMain(TDM &dm, const FormMainOptions &options)
    : DM(dm)
    , m_options(options)
    , m_titleWidth(kDefaultTitleWidth)
    , m_dateWidth(kDefaultDateWidth)
{
    setWindowTitle(QStringLiteral("Penwick"));
    setWindowIcon(DialogLook::programIcon());
    m_trayMissing = m_options.trayAvailable < 0 ? !QSystemTrayIcon::isSystemTrayAvailable()
                                                : m_options.trayAvailable == 0;
    setWindowFlags(windowFlagsFor(m_trayMissing));
    setMinimumSize(kMinimumOuter);

    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kCream);
    setPalette(palette);
    setAutoFillBackground(true);

    // The tray icon first: it is all the user sees of a start.
    buildTray();
    if (!m_options.trayOnly)
        start();
}

void TFormMain::start()
{
    if (Online)
        return;
    // Its one-shot timer counts from the window's start.
    Online = new OnlineChecks(this, m_options.online);
    tUpdateAndPublicity = Online->tUpdateAndPublicity;

    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { CloseProgram(); });

    // Changes committed by another copy of the program (or the companion
    // command) show at once; a burst of them gives one refill.
    m_changedElsewhere = new QTimer(this);
    m_changedElsewhere->setSingleShot(true);
    m_changedElsewhere->setInterval(kChangeSettleMs);
    connect(m_changedElsewhere, &QTimer::timeout, this, &TFormMain::RefreshNoteList);
    DM.listenForChanges([this](int) {
        if (!m_changedElsewhere->isActive())
            m_changedElsewhere->start();
    });

    FormCreate();
    if (m_options.buildWindow)
        ensureWindowBuilt();
}

TFormMain::~TFormMain()
{
    FormDestroy();
}

void TFormMain::buildWidgets()
{
    auto *central = new QWidget(this);
    // The places of the design's client area; the list follows every edge,
    // the bottom row keeps its distance to the bottom.
    auto *layout = new AnchorLayout(QSize(292, 535), central);
    const Qt::Edges leftBottom = Qt::LeftEdge | Qt::BottomEdge;

    ListModel = new NoteListModel(this);
    LVNotatki = new QTreeView(central);
    LVNotatki->setModel(ListModel);
    LVNotatki->setRootIsDecorated(false);
    LVNotatki->setItemsExpandable(false);
    LVNotatki->setUniformRowHeights(true);
    LVNotatki->setAllColumnsShowFocus(true);
    LVNotatki->setSelectionMode(QAbstractItemView::SingleSelection);
    LVNotatki->setSelectionBehavior(QAbstractItemView::SelectRows);
    LVNotatki->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LVNotatki->setSortingEnabled(false);
    LVNotatki->setAlternatingRowColors(true);
    LVNotatki->setFrameShape(QFrame::NoFrame);
    LVNotatki->setIconSize(QSize(16, 16));
    LVNotatki->header()->setSectionsClickable(false);
    LVNotatki->header()->setSectionsMovable(false);
    LVNotatki->header()->setStretchLastSection(false);
    LVNotatki->header()->setMinimumSectionSize(kMinimumColumnWidth);
    LVNotatki->header()->resizeSection(0, m_titleWidth);
    LVNotatki->header()->resizeSection(1, m_dateWidth);
    QPalette listPalette = LVNotatki->palette();
    listPalette.setColor(QPalette::Base, Qt::white);
    listPalette.setColor(QPalette::AlternateBase, kOddRow);
    // The selection stays highlighted when the list loses the focus.
    listPalette.setColor(QPalette::Inactive, QPalette::Highlight,
                         listPalette.color(QPalette::Active, QPalette::Highlight));
    listPalette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         listPalette.color(QPalette::Active, QPalette::HighlightedText));
    LVNotatki->setPalette(listPalette);
    layout->addWidget(LVNotatki, QRect(7, 6, 279, 492), Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);

    connect(LVNotatki->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected, const QItemSelection &deselected) {
                for (const QModelIndex &index : deselected.indexes()) {
                    if (index.column() == 0)
                        LVNotatkiSelectItem(index.row());
                }
                for (const QModelIndex &index : selected.indexes()) {
                    if (index.column() == 0)
                        LVNotatkiSelectItem(index.row());
                }
                UpdateCommandStates();
            });
    connect(ListModel, &QAbstractItemModel::modelReset, this, &TFormMain::UpdateCommandStates);
    connect(ListModel, &QAbstractItemModel::dataChanged, this, &TFormMain::UpdateCommandStates);
    connect(LVNotatki, &QAbstractItemView::doubleClicked, this, [this] { NotatkaPokazEdytuj->trigger(); });

    SBDodaj = new QToolButton(central);
    SBDodaj->setAutoRaise(true);
    SBDodaj->setFixedSize(25, 25);
    SBDodaj->setIcon(DialogLook::pictureIcon(QStringLiteral(":/icons/add.png")));
    SBDodaj->setToolTip(tr("New note"));
    SBDodaj->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(SBDodaj, QRect(6, 504, 25, 25), leftBottom);

    // The greyed bin lies beneath the delete button and shows while it is disabled.
    auto *deleteSlot = new QWidget(central);
    deleteSlot->setFixedSize(25, 25);
    auto *binDisabled = new QLabel(deleteSlot);
    binDisabled->setObjectName(QStringLiteral("ImageKoszDisabled"));
    const QPixmap greyBin = DialogLook::picture(QStringLiteral(":/icons/delete-disabled.png"));
    binDisabled->setPixmap(greyBin);
    binDisabled->setAlignment(Qt::AlignCenter);
    binDisabled->setGeometry(0, 0, 25, 25);
    SBUsun = new QToolButton(deleteSlot);
    SBUsun->setAutoRaise(true);
    SBUsun->setGeometry(0, 0, 25, 25);
    QIcon bin = DialogLook::pictureIcon(QStringLiteral(":/icons/delete.png"));
    bin.addPixmap(greyBin, QIcon::Disabled);
    SBUsun->setIcon(bin);
    SBUsun->setToolTip(tr("Delete"));
    SBUsun->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(deleteSlot, QRect(34, 504, 25, 25), leftBottom);

    auto *searchPicture = new QLabel(central);
    searchPicture->setPixmap(DialogLook::picture(QStringLiteral(":/icons/search.png")));
    searchPicture->setObjectName(QStringLiteral("searchPicture"));
    layout->addWidget(searchPicture, QRect(81, 509, 13, 16), leftBottom);
    auto *searchLabel = DialogLook::boldLabel(tr("Search:"), central);
    searchLabel->setObjectName(QStringLiteral("searchLabel"));
    layout->addWidget(searchLabel, QRect(99, 511, -1, -1), leftBottom);
    SzukanyCiag = new QLineEdit(central);
    CharacterLimit::apply(SzukanyCiag, NoteRules::MaxSearchLength);
    TextEntry::keepClean(SzukanyCiag, &Sql::storableText);
    SzukanyCiag->installEventFilter(this);
    layout->addWidget(SzukanyCiag, QRect(144, 508, 142, -1), leftBottom);
    searchLabel->setBuddy(SzukanyCiag);

    setCentralWidget(central);
    setTabOrder(SzukanyCiag, LVNotatki);
    SzukanyCiag->setFocus();

    connect(SzukanyCiag, &QLineEdit::textChanged, this, &TFormMain::SzukanyCiagChange);
    connect(SBDodaj, &QToolButton::clicked, this, &TFormMain::NewNote);
    connect(SBUsun, &QToolButton::clicked, this, &TFormMain::DeleteSelectedNote);
}

void TFormMain::buildMenus()
{
    // Shortcut texts are shown after a tab; the keys themselves go through
    // menuShortcut so that they are used up even when the item is disabled.
    Plik = menuBar()->addMenu(tr("File"));
    MMNowaNotatka = Plik->addAction(tr("New note") + QStringLiteral("\tIns"));
    MMUsun = Plik->addAction(tr("Delete") + QStringLiteral("\tDel"));
    MMPodgladEdycja = Plik->addAction(tr("View / Edit") + QStringLiteral("\tF2"));
    Plik->addSeparator();
    MMHaslo = Plik->addAction(tr("Configure password"));
    Plik->addSeparator();
    MMZakoncz = Plik->addAction(tr("Close"));
    Info = menuBar()->addMenu(tr("Info"));
    OProgramie = Info->addAction(tr("About..."));
    connect(Plik, &QMenu::aboutToShow, this, &TFormMain::PlikClick);

    NotatkaPokazEdytuj = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    Ukryj = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Escape)});

    connect(MMNowaNotatka, &QAction::triggered, this, &TFormMain::NewNote);
    connect(MMUsun, &QAction::triggered, this, &TFormMain::DeleteSelectedNote);
    connect(MMPodgladEdycja, &QAction::triggered, this, [this] { NotatkaPokazEdytuj->trigger(); });
    connect(MMHaslo, &QAction::triggered, this, [this] {
        TFormHaslo dialog(DM, this);
        DialogLook::execModal(dialog);
    });
    connect(MMZakoncz, &QAction::triggered, this, &TFormMain::CloseProgram);
    connect(OProgramie, &QAction::triggered, Online, &OnlineChecks::ShowAbout);
    connect(NotatkaPokazEdytuj, &QAction::triggered, this, &TFormMain::NotatkaPokazEdytujExecute);
    connect(Ukryj, &QAction::triggered, this, &TFormMain::UkryjExecute);

    const std::pair<QKeySequence, QAction *> keys[] = {
        {QKeySequence(Qt::Key_Insert), MMNowaNotatka},
        {QKeySequence(Qt::Key_Delete), MMUsun},
        {QKeySequence(Qt::Key_F2), MMPodgladEdycja},
    };
    for (const auto &[key, item] : keys) {
        auto *shortcut = new QShortcut(key, this);
        shortcut->setContext(Qt::WindowShortcut);
        QAction *target = item;
        connect(shortcut, &QShortcut::activated, this, [this, target] { menuShortcut(target); });
    }

    // The menus from the keyboard. The captions carry no mnemonic, so Alt+F
    // and Alt+I are keys of their own.
    auto *keysStyle = new MenuBarKeys;
    keysStyle->setParent(menuBar());
    menuBar()->setStyle(keysStyle);
    menuBar()->installEventFilter(this);
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, &TFormMain::enterMenuBar);
    const std::pair<QKeySequence, QMenu *> menuKeys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_F), Plik},
        {QKeySequence(Qt::ALT | Qt::Key_I), Info},
    };
    for (const auto &[key, menu] : menuKeys) {
        auto *shortcut = new QShortcut(key, this);
        QMenu *target = menu;
        connect(shortcut, &QShortcut::activated, this, [this, target] { openMenu(target); });
    }
}

void TFormMain::enterMenuBar()
{
    // Qt's menu bar enters its keyboard mode from a lone Alt only; F10 is
    // taken as one.
    QKeyEvent press(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(menuBar(), &release);
}

void TFormMain::openMenu(QMenu *menu)
{
    menuBar()->setActiveAction(menu->menuAction());
    // Opened from the keyboard, the first item it offers is highlighted.
    const QList<QAction *> items = menu->actions();
    for (QAction *item : items) {
        if (!item->isSeparator() && item->isEnabled()) {
            menu->setActiveAction(item);
            break;
        }
    }
}

void TFormMain::buildTray()
{
    PopupMenu = new QMenu(this);
    PMOtworz = PopupMenu->addAction(tr("Open"));
    PMNowaNotatka = PopupMenu->addAction(tr("New note"));
    PopupMenu->addSeparator();
    PMZakoncz = PopupMenu->addAction(tr("Close"));
    PopupMenu->setDefaultAction(PMOtworz);
    connect(PMOtworz, &QAction::triggered, this, &TFormMain::ShowMainWindow);
    connect(PMNowaNotatka, &QAction::triggered, this, &TFormMain::NewNote);
    connect(PMZakoncz, &QAction::triggered, this, &TFormMain::CloseProgram);

    TrayIcon = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon->setToolTip(QStringLiteral("Penwick"));
    TrayIcon->setContextMenu(PopupMenu);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The first click of a double click has toggled the window already.
        if (reason == QSystemTrayIcon::Trigger)
            TrayIconClick();
    });
    TrayIcon->show();
    BalloonNotifier = new Notifier(TrayIcon, this);
    connect(BalloonNotifier, &Notifier::noteActivated, this, &TFormMain::showAlarmNote);
    connect(BalloonNotifier, &Notifier::alarmsDone, this, &TFormMain::alarmsDone);
    connect(BalloonNotifier, &Notifier::alarmsSnoozed, this, &TFormMain::alarmsSnoozed);
}

void TFormMain::FormCreate()
{
    RestoreWindowGeometry();
    RestoreColumnWidths();
    if (m_options.startThreads) {
        m_alarmChecker = new TAlarmChecker(
            DM, this,
            [this](const QString &title, const QString &text) {
                AlarmBalloonTitle = title;
                AlarmBalloonText = text;
                AnnounceAlarms();
            },
            m_options.checkerIntervalMs);
        m_alarmChecker->setNotesFired([this](const std::vector<TAlarmChecker::Fired> &listed) {
            m_announced = {};
            for (const TAlarmChecker::Fired &fired : listed)
                m_announced.notes << fired.id;
            m_announced.open = listed.empty() ? -1 : listed.back().id;
            m_announced.snoozable = std::all_of(listed.cbegin(), listed.cend(), [](const TAlarmChecker::Fired &fired) {
                return fired.kind == Alarm::Once;
            });
        });
        m_alarmChecker->start();
        m_blinkingItems = new TBlinkingItems(
            this, [this] { ToggleRunningAlarmImages(); }, m_options.blinkIntervalMs);
        m_blinkingItems->start();
        tellBlinkingWhatRuns();
    }
    watchForTray();
}

void TFormMain::ensureWindowBuilt()
{
    if (m_windowBuilt)
        return;
    m_windowBuilt = true;
    DialogLook::loadFonts();
    buildWidgets();
    buildMenus();
    FillNoteList(SelectedNoteId);
}

void TFormMain::setVisible(bool visible)
{
    if (visible)
        ensureWindowBuilt();
    QMainWindow::setVisible(visible);
}

void TFormMain::FormDestroy()
{
    DM.listenForChanges({});
    // Both loops are woken and joined before any widget goes away, so no
    // late call reaches a destroyed window.
    for (WorkerThread *thread :
         {static_cast<WorkerThread *>(m_alarmChecker), static_cast<WorkerThread *>(m_blinkingItems)}) {
        if (thread)
            thread->requestStop();
    }
    delete m_alarmChecker;
    m_alarmChecker = nullptr;
    delete m_blinkingItems;
    m_blinkingItems = nullptr;
}

void TFormMain::watchForTray()
{
    if (!m_trayMissing)
        return;
    // No notification area: keep the window reachable, and switch to the
    // tray as soon as a tray host shows up (a panel started after us).
    show();
    m_trayWatch = new QTimer(this);
    m_trayWatch->setInterval(kTrayPollMs);
    connect(m_trayWatch, &QTimer::timeout, this, [this] {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            return;
        m_trayWatch->stop();
        m_trayMissing = false;
        const bool visible = isVisible() && !isMinimized();
        setWindowFlags(windowFlagsFor(false));
        TrayIcon->hide();
        TrayIcon->show();
        if (visible)
            ShowMainWindow();
    });
    m_trayWatch->start();
}

// ---------------------------------------------------------------------------
// Note list and search

bool TFormMain::fill(const QString *searchText, int rememberedId)
{
    // Nobody sees a list that was never shown; the first showing fills it.
    if (!m_windowBuilt)
        return true;
    LVNotatki->setUpdatesEnabled(false);
    std::vector<Note> found;
    const bool ok = DM.readNoteList(searchText, found);
    qCDebug(lcList).nospace() << "list: " << found.size() << " rows, "
                              << std::count_if(found.cbegin(), found.cend(),
                                               [](const Note &note) { return note.alarm == Alarm::Running; })
                              << " running";
    ListModel->setRows(std::move(found));
    tellBlinkingWhatRuns();
    const int selected = ListModel->rowOfId(rememberedId);
    QModelIndex selectedIndex;
    if (selected >= 0) {
        selectedIndex = ListModel->index(selected, 0);
        LVNotatki->selectionModel()->select(selectedIndex,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    LVNotatki->setUpdatesEnabled(true);
    if (selectedIndex.isValid())
        LVNotatki->scrollTo(selectedIndex, QAbstractItemView::EnsureVisible);
    UpdateCommandStates();
    return ok;
}

bool TFormMain::FillNoteList(int rememberedId)
{
    return fill(nullptr, rememberedId);
}

bool TFormMain::FillNoteListBySearch(const QString &text, int rememberedId)
{
    return fill(&text, rememberedId);
}

void TFormMain::RefreshNoteList()
{
    if (!m_windowBuilt)
        return;
    const QString text = SzukanyCiag->text();
    if (!text.isEmpty())
        FillNoteListBySearch(text, SelectedNoteId);
    else
        FillNoteList(SelectedNoteId);
}

void TFormMain::SzukanyCiagChange()
{
    RefreshNoteList();
}

void TFormMain::LVNotatkiSelectItem(int row)
{
    if (ListModel->count() == 0 || row < 0 || row >= ListModel->count())
        return;
    SelectedNoteId = ListModel->row(row).id;
    LVNotatki->selectionModel()->setCurrentIndex(ListModel->index(row, 0), QItemSelectionModel::NoUpdate);
}

void TFormMain::UpdateCommandStates()
{
    if (!m_windowBuilt)
        return;
    const bool one = LVNotatki->selectionModel()->selectedRows().size() == 1;
    MMUsun->setEnabled(one);
    MMPodgladEdycja->setEnabled(one);
    SBUsun->setEnabled(one);
}

void TFormMain::tellBlinkingWhatRuns()
{
    // Running alarms lead the list; the blinking thread sleeps while there is none.
    if (!m_blinkingItems || !m_windowBuilt)
        return;
    const int first = ListModel->count() > 0 ? ListModel->row(0).picture : NoteListModel::PictureNote;
    const bool running = first == NoteListModel::PictureRunning || first == NoteListModel::PictureRunningRays;
    if (running != m_runningShown)
        qCDebug(lcList) << (running ? "blinking on" : "blinking off");
    m_runningShown = running;
    m_blinkingItems->setRunningShown(running);
}

void TFormMain::ToggleRunningAlarmImages()
{
    if (!m_windowBuilt)
        return;
    for (int i = 0; i < ListModel->count(); ++i) {
        const int picture = ListModel->row(i).picture;
        if (picture == NoteListModel::PictureRunning)
            ListModel->setPicture(i, NoteListModel::PictureRunningRays);
        else if (picture == NoteListModel::PictureRunningRays)
            ListModel->setPicture(i, NoteListModel::PictureRunning);
        const int now = ListModel->row(i).picture;
        if (now == NoteListModel::PictureNote || now == NoteListModel::PictureAlarm)
            break;
    }
}

int TFormMain::selectedRowId() const
{
    if (!m_windowBuilt)
        return -1;
    const QModelIndexList rows = LVNotatki->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    return ListModel->row(rows.constFirst().row()).id;
}

QVector<int> TFormMain::listIds() const
{
    QVector<int> ids;
    if (!m_windowBuilt)
        return ids;
    ids.reserve(ListModel->count());
    for (int i = 0; i < ListModel->count(); ++i)
        ids << ListModel->row(i).id;
    return ids;
}

bool TFormMain::searchTextTyped() const
{
    return m_windowBuilt && !SzukanyCiag->text().isEmpty();
}

void TFormMain::focusNoteList()
{
    if (m_windowBuilt)
        LVNotatki->setFocus();
}

// ---------------------------------------------------------------------------
// Commands

bool TFormMain::ShowMainWindow()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    // A dialog open over the window stays above it.
    if (QWidget *modal = QApplication::activeModalWidget())
        modal->raise();
    return true;
}

void TFormMain::hideMainWindow()
{
    if (m_trayMissing)
        showMinimized();
    else
        hide();
}

void TFormMain::NewNote()
{
    ShowMainWindow();
    if (!PauseAlarmChecker())
        return;
    CheckerResume resume(*this, m_editorsOpen);
    TFormNotatka editor(DM, *this, this);
    editor.StatusFormatki->setText(QStringLiteral("New note"));
    editor.NoteId = -1;
    DialogLook::execModal(editor);
}

void TFormMain::NotatkaPokazEdytujExecute()
{
    const int id = selectedRowId();
    if (id < 0)
        return;
    if (!PauseAlarmChecker())
        return;
    CheckerResume resume(*this, m_editorsOpen);
    try {
        TFormNotatka editor(DM, *this, this);
        // Opening a running alarm acknowledges it before the editor shows.
        if (DM.ReadAlarmState(id) == Alarm::Running) {
            writeAlarm([this, id] { DM.acknowledgeAlarm(id); });
            if (SzukanyCiag->text().trimmed().isEmpty())
                FillNoteList(SelectedNoteId);
            else
                RefreshNoteList();
        }
        editor.NoteId = id;
        editor.StatusFormatki->setText(QStringLiteral("View / Edit"));
        editor.LoadNote(id);
        DialogLook::execModal(editor);
    } catch (const Firebird::Error &error) {
        MessageBox::information(this, error.message());
    }
}

void TFormMain::DeleteSelectedNote()
{
    const int id = selectedRowId();
    if (id < 0)
        return;
    TFormUsuwanie dialog(DM, *this, this);
    dialog.DeleteNoteId = id;
    DialogLook::execModal(dialog);
}

void TFormMain::UkryjExecute()
{
    if (SzukanyCiag && SzukanyCiag->hasFocus() && !SzukanyCiag->text().trimmed().isEmpty())
        SzukanyCiag->clear();
    else
        hideMainWindow();
}

void TFormMain::TrayIconClick()
{
    if (TrayClickBusy)
        return;
    TrayClickBusy = true;
    if (isVisible() && !isMinimized()) {
        hideMainWindow();
    } else if (ShowMainWindow()) {
        activateWindow();
    }
    TrayClickBusy = false;
}

void TFormMain::PlikClick()
{
    UpdateCommandStates();
}

void TFormMain::menuShortcut(QAction *item)
{
    PlikClick();
    if (item->isEnabled())
        item->trigger();
}

void TFormMain::AnnounceAlarms()
{
    BalloonNotifier->show(AlarmBalloonTitle, AlarmBalloonText, m_announced);
    m_announced = {};
    FillNoteList(SelectedNoteId);
}

void TFormMain::showAlarmNote(int id)
{
    // A dialog open over the window keeps the selection it was opened for.
    const bool dialogOpen = QApplication::activeModalWidget() != nullptr;
    if (ShowMainWindow())
        activateWindow();
    if (dialogOpen)
        return;
    SelectedNoteId = id;
    RefreshNoteList();
    // A search that hides the note gives way to the full list.
    if (selectedRowId() != id && !SzukanyCiag->text().isEmpty())
        SzukanyCiag->clear();
}

void TFormMain::writeAlarm(const std::function<void()> &write)
{
    try {
        write();
    } catch (const Firebird::Error &failure) {
        DM.ReportFailure(QStringLiteral("Can't set the type of alarm!"), QStringLiteral("FormNotatka"),
                         failure.message());
    }
}

void TFormMain::alarmsDone(const QList<int> &ids)
{
    changeAlarms(ids, [this](int id) { DM.acknowledgeAlarm(id); });
}

void TFormMain::alarmsSnoozed(const QList<int> &ids)
{
    const QDateTime until = DueRules::snoozedUntil(Clock::currentDateTime());
    changeAlarms(ids, [this, &until](int id) { DM.snoozeAlarm(id, until); });
}

void TFormMain::changeAlarms(const QList<int> &ids, const std::function<void(int id)> &change)
{
    // Each write is guarded: an alarm that another copy has acknowledged or
    // changed meanwhile stays as that copy left it.
    for (const int id : ids)
        writeAlarm([&change, id] { change(id); });
    // Our own writes bring no change event back; the other copies get theirs.
    RefreshNoteList();
}

void TFormMain::RemoveDownloadedFiles()
{
    Online->RemoveDownloadedFiles();
}

bool TFormMain::PauseAlarmChecker()
{
    if (!m_alarmChecker)
        return true;
    m_alarmChecker->pause();
    return m_alarmChecker->isPaused();
}

void TFormMain::ResumeAlarmChecker()
{
    if (m_alarmChecker)
        m_alarmChecker->resume();
}

void TFormMain::CloseProgram()
{
    if (m_closing)
        return;
    m_closing = true;
    // An open dialog is cancelled: what was typed in it is not saved.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
            dialog->reject();
    }
    Online->EndPublicity();
    DM.DisconnectDatabase();
    RemoveDownloadedFiles();
    SaveWindowGeometry();
    SaveColumnWidths();
    // exit(), not quit(): quit() first asks every window to close, and this
    // one refuses (it only hides), which would cancel the end of the program.
    if (m_options.quit)
        m_options.quit();
    else
        QCoreApplication::exit(0);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    // Closing the window only hides it; the program lives on in the tray.
    if (m_closing) {
        event->accept();
        return;
    }
    event->ignore();
    hideMainWindow();
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    // A line edit claims Delete and Insert for itself; here the File menu wins.
    if (watched == SzukanyCiag && event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Delete || key->key() == Qt::Key_Insert) && key->modifiers() == Qt::NoModifier) {
            event->ignore();
            return true;
        }
    }
    // On the menu bar Enter opens the highlighted menu; it is not the window's key.
    auto *bar = qobject_cast<QMenuBar *>(watched);
    if (bar && event->type() == QEvent::ShortcutOverride && bar->activeAction()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return true;
        }
    }
    // An Alt combination is a command, never text for the search (AltGr,
    // which types letters such as "ą", is not Alt).
    if (watched == SzukanyCiag && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & Qt::AltModifier) && !key->text().isEmpty() && key->text().at(0).isPrint())
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Window state

namespace {
int storedNumber(TDM &dm, const QString &key)
{
    bool ok = false;
    const int value = dm.GetSetting(key).trimmed().toInt(&ok);
    return ok ? value : -1;
}

// No stored value may ask for more than the screens together can show: a
// window of any size would be allocated whole.
QSize virtualDesktop()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualGeometry().size() : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}
} // namespace

void TFormMain::RestoreWindowGeometry()
{
    const int width = storedNumber(DM, QStringLiteral("FormMainWidth"));
    const int height = storedNumber(DM, QStringLiteral("FormMainHeight"));
    const int top = storedNumber(DM, QStringLiteral("FormMainTop"));
    const int left = storedNumber(DM, QStringLiteral("FormMainLeft"));
    resizeOuter(QSize(width == -1 ? kDefaultWidth : width, height == -1 ? kDefaultHeight : height)
                    .boundedTo(virtualDesktop())
                    .expandedTo(kMinimumOuter));
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
    const QSize outer = frameGeometry().size();
    const QPoint place(left == -1 ? screen.width() - outer.width() - 40 : left,
                       top == -1 ? screen.height() - outer.height() - 60 : top);
    m_place = reachablePlace(QRect(place, outer));
    move(m_place);
}

QPoint TFormMain::reachablePlace(const QRect &frame)
{
    // A place left on a screen that is gone would keep the window out of
    // reach: it comes back inside the primary screen's free area instead.
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        if (screen->geometry().intersects(frame))
            return frame.topLeft();
    }
    if (!QGuiApplication::primaryScreen())
        return frame.topLeft();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return QPoint(qMax(area.left(), qMin(frame.left(), area.right() + 1 - frame.width())),
                  qMax(area.top(), qMin(frame.top(), area.bottom() + 1 - frame.height())));
}

void TFormMain::resizeOuter(QSize outer)
{
    // The stored and minimum sizes count the frame, which the window
    // manager adds around the client area; it is known once the window
    // has been shown, and is nothing before.
    const QSize frame = frameGeometry().size() - size();
    setMinimumSize(kMinimumOuter - frame);
    resize(outer - frame);
}

bool TFormMain::event(QEvent *event)
{
    if (event->type() == QEvent::Move || event->type() == QEvent::Show) {
        const QSize frame = frameGeometry().size() - size();
        // A frame shows up (or changes) after a showing; an unmapped window
        // may report none for a while, which changes nothing.
        if (!frame.isNull() && frame != m_frame) {
            const bool first = m_frame.isNull();
            const QSize outer = size() + m_frame;
            m_frame = frame;
            resizeOuter(outer);
            // While the window manager takes the window into its frame, the
            // position reported can for a moment be the one inside the frame,
            // and the resize sends the window there; the first frame puts it
            // back where it was placed.
            if (first)
                move(m_place);
        }
    }
    return QMainWindow::event(event);
}

void TFormMain::RestoreColumnWidths()
{
    const int title = storedNumber(DM, QStringLiteral("TytulSzerokosc"));
    const int date = storedNumber(DM, QStringLiteral("DataSzerokosc"));
    const int widest = qMax(kMinimumColumnWidth, virtualDesktop().width());
    m_titleWidth = qBound(kMinimumColumnWidth, title == -1 ? kDefaultTitleWidth : title, widest);
    m_dateWidth = qBound(kMinimumColumnWidth, date == -1 ? kDefaultDateWidth : date, widest);
    if (m_windowBuilt) {
        LVNotatki->header()->resizeSection(0, m_titleWidth);
        LVNotatki->header()->resizeSection(1, m_dateWidth);
    }
}

void TFormMain::SaveWindowGeometry()
{
    DM.SetSetting(QStringLiteral("FormMainHeight"), QString::number(frameGeometry().height()));
    DM.SetSetting(QStringLiteral("FormMainWidth"), QString::number(frameGeometry().width()));
    DM.SetSetting(QStringLiteral("FormMainTop"), QString::number(y()));
    DM.SetSetting(QStringLiteral("FormMainLeft"), QString::number(x()));
}

void TFormMain::SaveColumnWidths()
{
    if (m_windowBuilt) {
        m_titleWidth = LVNotatki->header()->sectionSize(0);
        m_dateWidth = LVNotatki->header()->sectionSize(1);
    }
    DM.SetSetting(QStringLiteral("TytulSzerokosc"), QString::number(m_titleWidth));
    DM.SetSetting(QStringLiteral("DataSzerokosc"), QString::number(m_dateWidth));
}
