#include "FormNotatka.h"

#include "store/Characters.h"
#include "store/Clock.h"
#include "store/DataModule.h"
#include "store/NoteRules.h"
#include "store/Sql.h"
#include "ui/CharacterLimit.h"
#include "ui/DialogLook.h"
#include "ui/MessageBox.h"
#include "ui/NoteListHost.h"
#include "ui/TextEntry.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimeEdit>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

const QString kOrigin = QStringLiteral("FormNotatka");
const QColor kMaroon(128, 0, 0);

// What a character of the editor's document takes in the store: a break
// between lines is stored as CR LF.
int storedWeight(QChar c)
{
    return c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == QLatin1Char('\n') ? 2 : 1;
}

// Tab leaves the pickers for the next control, as the tab order reads;
// the arrow keys move between the parts of a date or time.
template<class Picker> class TabbingPicker final : public Picker
{
public:
    explicit TabbingPicker(QWidget *parent)
        : Picker(parent)
    {
    }

protected:
    bool focusNextPrevChild(bool next) override
    {
        return QWidget::focusNextPrevChild(next);
    }
};

} // namespace

TFormNotatka::TFormNotatka(TDM &dm, NoteListHost &main, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_main(main)
{
    setObjectName(QStringLiteral("FormNotatka"));
    setWindowTitle(QStringLiteral("Penwick - Note"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    DialogLook::apply(this);
    buildWidgets();
    setMinimumSize(400, 300);
    resize(460, 380);
    DialogLook::centre(this);
    FormCreate();
}

void TFormNotatka::buildWidgets()
{
    LabelTytul = DialogLook::boldLabel(QStringLiteral("Title"), this);
    Tytul = new QLineEdit(this);
    CharacterLimit::apply(Tytul, NoteText::MaxTitleLength);
    LabelTytul->setBuddy(Tytul);

    pAlarm = new QLabel(this);
    pAlarm->setPixmap(DialogLook::picture(QStringLiteral(":/icons/alarm-small.png")));
    cAlarm = new QCheckBox(QStringLiteral("Alarm"), this);
    dtDate = new TabbingPicker<QDateEdit>(this);
    dtDate->setCalendarPopup(true);
    dtDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dtTime = new TabbingPicker<QTimeEdit>(this);
    dtTime->setDisplayFormat(QStringLiteral("HH:mm"));
    dtTime->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    cbAlarm = new QComboBox(this);
    cbAlarm->addItems({QStringLiteral("tylko raz"), QStringLiteral("codziennie"), QStringLiteral("co tydzień"),
                       QStringLiteral("co miesiąc"), QStringLiteral("co rok")});
    // The repeat kind stays as the row holds it; the editor never offers it.
    cbAlarm->hide();
    dtDate->hide();
    dtTime->hide();

    LabelTresc = DialogLook::boldLabel(QStringLiteral("Message"), this);
    Tresc = new QPlainTextEdit(this);
    Tresc->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Tresc->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Tresc->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Tresc->setTabChangesFocus(true);
    LabelTresc->setBuddy(Tresc);
    Tresc->installEventFilter(this);
    TextEntry::keepClean(Tytul, &Sql::storableText);
    TextEntry::keepClean(Tresc, &Sql::storableText);

    LBIloscZnakow = new QLabel(this);
    LBIloscZnakow->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    StatusFormatki = new QLabel(this);
    QPalette status = StatusFormatki->palette();
    status.setColor(QPalette::WindowText, kMaroon);
    StatusFormatki->setPalette(status);

    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setDefault(true);
    Anuluj = new QPushButton(QStringLiteral("Cancel"), this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(4);

    auto *titleRow = new QGridLayout;
    titleRow->setHorizontalSpacing(6);
    titleRow->addWidget(LabelTytul, 0, 0);
    titleRow->addWidget(Tytul, 1, 0);
    auto *alarmRow = new QHBoxLayout;
    alarmRow->setSpacing(4);
    alarmRow->addWidget(pAlarm);
    alarmRow->addWidget(cAlarm);
    alarmRow->addWidget(dtDate);
    alarmRow->addWidget(dtTime);
    alarmRow->addWidget(cbAlarm);
    alarmRow->addStretch(1);
    titleRow->addLayout(alarmRow, 2, 0);
    layout->addLayout(titleRow);

    layout->addSpacing(4);
    layout->addWidget(LabelTresc);
    layout->addWidget(Tresc, 1);
    layout->addWidget(LBIloscZnakow);
    layout->addWidget(line);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(StatusFormatki, 1);
    bottom->addWidget(OK);
    bottom->addWidget(Anuluj);
    layout->addLayout(bottom);

    setTabOrder(Tytul, cAlarm);
    setTabOrder(cAlarm, dtDate);
    setTabOrder(dtDate, dtTime);
    setTabOrder(dtTime, Tresc);
    setTabOrder(Tresc, OK);
    setTabOrder(OK, Anuluj);
    setTabOrder(Anuluj, cbAlarm);
    Tytul->setFocus();

    Zamknij = DialogLook::keyAction(this, {QKeySequence(Qt::Key_Escape)});

    connect(Zamknij, &QAction::triggered, this, &TFormNotatka::ZamknijExecute);
    connect(OK, &QPushButton::clicked, this, &TFormNotatka::OKClick);
    connect(Anuluj, &QPushButton::clicked, this, &TFormNotatka::AnulujClick);
    connect(Tresc->document(), &QTextDocument::contentsChange, this, [this](int from, int, int added) {
        m_changeFrom = from;
        m_changeAdded = added;
    });
    connect(Tresc, &QPlainTextEdit::textChanged, this, &TFormNotatka::TrescChange);
}

void TFormNotatka::FormCreate()
{
    UpdateCharactersLeft();
    dtDate->setDate(Clock::currentDate());
    dtTime->setTime(Clock::currentTime());
    cbAlarm->setCurrentIndex(0);
    cAlarm->setChecked(false);
    // Connected only now: the starting values are no touch of the user's.
    connect(cAlarm, &QCheckBox::toggled, this, &TFormNotatka::cAlarmClick);
    connect(cbAlarm, &QComboBox::currentIndexChanged, this, &TFormNotatka::cbAlarmChange);
    connect(dtDate, &QDateEdit::dateChanged, this, &TFormNotatka::cbAlarmChange);
    connect(dtTime, &QTimeEdit::timeChanged, this, &TFormNotatka::cbAlarmChange);
}

void TFormNotatka::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormNotatka::FormShow()
{
    if (StatusFormatki->text() == QStringLiteral("New note"))
        Tytul->setText(DefaultTitle());
}

void TFormNotatka::closeEvent(QCloseEvent *event)
{
    FormClose(event);
}

void TFormNotatka::FormClose(QCloseEvent *event)
{
    // The opener owns the dialog and frees it when its modal run ends; a close
    // by any way only ends that run as a cancel.
    QDialog::closeEvent(event);
}

bool TFormNotatka::eventFilter(QObject *watched, QEvent *event)
{
    // Shift+Enter would put a line separator (U+2028) into the body, which is
    // kept as it is; a line break the user types is a plain one, stored as
    // CR LF like every other.
    if (watched == Tresc && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::InsertLineSeparator)) {
        Tresc->insertPlainText(QStringLiteral("\n"));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

QString TFormNotatka::bodyText() const
{
    // toPlainText() would turn a no-break space into a space and U+2028 into
    // a line break; the raw text only marks the breaks between lines.
    return Tresc->document()->toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

void TFormNotatka::saveFailed(const QString &message, const Firebird::Error &error)
{
    m_dm.ReportFailure(message, kOrigin, error.message());
    const QString why = error.busy() ? QStringLiteral("The note is in use elsewhere: another program is changing it "
                                                      "just now.")
                                     : error.message();
    MessageBox::information(this, message + QStringLiteral("\n\n") + why
                                      + QStringLiteral("\n\nThe note is still here: press OK to try again, or "
                                                       "Cancel to close it without saving."));
}

void TFormNotatka::UpdateCharactersLeft()
{
    LBIloscZnakow->setText(QStringLiteral("Characters left ")
                           + QString::number(NoteText::MaxBodyLength - NoteText::storedLength(Tresc->toPlainText())));
}

void TFormNotatka::TrescChange()
{
    if (!m_filling && !m_trimming)
        keepBodyWithinLimit();
    UpdateCharactersLeft();
}

void TFormNotatka::keepBodyWithinLimit()
{
    int excess = NoteText::storedLength(Tresc->toPlainText()) - NoteText::MaxBodyLength;
    if (excess <= 0)
        return;
    QTextDocument *document = Tresc->document();
    // The document ends in a break of its own that the text does not show.
    const int textEnd = document->characterCount() - 1;
    // Only what was just inserted gives way; a text loaded over the limit
    // keeps what it had, and a deletion never cuts anything more.
    const int from = qBound(0, m_changeFrom, textEnd);
    int end = qBound(from, m_changeFrom + m_changeAdded, textEnd);
    // Typing and pasting leave the caret at the end of what they inserted;
    // cut there, so a paste into the middle keeps its head and the text after it.
    const int caret = Tresc->textCursor().position();
    if (caret > from && caret <= end)
        end = caret;
    int start = end;
    while (excess > 0 && start > from) {
        --start;
        const QChar c = document->characterAt(start);
        // The two halves of a pair are one character.
        if (c.isLowSurrogate() && start > from && document->characterAt(start - 1).isHighSurrogate())
            --start;
        excess -= storedWeight(c);
    }
    if (start == end)
        return;
    m_trimming = true;
    QTextCursor cut(document);
    // One undo step with the insertion it cuts back.
    cut.joinPreviousEditBlock();
    cut.setPosition(start);
    cut.setPosition(end, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    cut.endEditBlock();
    m_trimming = false;
}

QString TFormNotatka::DefaultTitle()
{
    return NoteRules::defaultTitle(m_dm, kOrigin);
}

bool TFormNotatka::LoadNote(int id)
{
    m_filling = true;
    try {
        if (const std::optional<Note> note = m_dm.readNote(id)) {
            m_loaded = *note;
            Tytul->setText(note->title);
            Tresc->setPlainText(NoteText::fromStored(note->body));
            if (note->alarm >= Alarm::Running && note->alarm <= Alarm::Acknowledged) {
                cAlarm->setChecked(true);
                cbAlarm->setCurrentIndex(note->kind);
                if (note->alarmDate.isValid())
                    dtDate->setDate(note->alarmDate);
                if (note->alarmTime.isValid())
                    dtTime->setTime(note->alarmTime);
            } else {
                cAlarm->setChecked(false);
            }
        }
        m_filling = false;
        AlarmChanged = false;
        return true;
    } catch (const Firebird::Error &error) {
        m_filling = false;
        AlarmChanged = false;
        m_dm.ReportFailure(QStringLiteral("Can't get data!"), kOrigin, error.message());
        return false;
    }
}

void TFormNotatka::OKClick()
{
    // A failed read of the alarm state ends the save here, with the dialog
    // still open; nothing may escape into the event loop.
    try {
        if (NoteId == -1) {
            if (cAlarm->isChecked() && !ValidateAlarm())
                return;
            SaveNewNote();
        } else {
            if (AlarmChanged && cAlarm->isChecked() && !ValidateAlarm())
                return;
            SaveNoteChanges();
        }
    } catch (const Firebird::Error &error) {
        MessageBox::information(this, error.message());
    }
}

void TFormNotatka::SaveNewNote()
{
    if (Tytul->text().isEmpty())
        Tytul->setText(DefaultTitle());
    const int id = InsertNote(Tytul->text(), bodyText());
    // Not stored: the dialog stays open with the text, and says why.
    if (id == -1)
        return;
    m_main.setSelectedNoteId(id);
    if (m_main.searchTextTyped())
        m_main.focusNoteList();
    m_main.FillNoteList(m_main.selectedNoteId());
    accept();
}

int TFormNotatka::InsertNote(const QString &title, const QString &body)
{
    Note note;
    note.title = title;
    note.body = NoteText::toStored(body);
    const QDateTime now = Clock::currentDateTime();
    note.createdDate = now.date();
    note.createdTime = now.time();
    note.alarm = cAlarm->isChecked() ? Alarm::Armed : Alarm::None;
    note.kind = cbAlarm->currentIndex();
    note.alarmDate = dtDate->date();
    note.alarmTime = dtTime->time();
    try {
        return m_dm.insertNote(note);
    } catch (const Firebird::Error &error) {
        saveFailed(QStringLiteral("Can't add new note!"), error);
        return -1;
    }
}

void TFormNotatka::SaveNoteChanges()
{
    // A change that was not stored keeps the dialog open with the text.
    if (!UpdateNoteText(NoteId, Tytul->text(), bodyText()) || !ApplyAlarmOnSave(NoteId))
        return;
    m_main.RefreshNoteList();
    accept();
}

bool TFormNotatka::UpdateNoteText(int id, const QString &title, const QString &body)
{
    const QString stored = NoteText::toStored(body);
    // The text is stored over what this editor loaded, never over a change
    // made meanwhile by another copy of the program, unless the user says so.
    const Note *expected = &m_loaded;
    try {
        for (;;) {
            switch (m_dm.updateNoteText(id, title, stored, expected)) {
            case TDM::TextSave::Saved:
                m_loaded.title = title;
                m_loaded.body = stored;
                return true;
            case TDM::TextSave::Gone:
                if (MessageBox::choose(this,
                                       QStringLiteral("This note was deleted elsewhere (by another copy of Penwick, "
                                                      "or another program) while you had it open.\n\nYour text is "
                                                      "still here."),
                                       {QStringLiteral("Save as new note"), QStringLiteral("Keep editing")})
                    == 0)
                    SaveAsNewNote();
                return false;
            case TDM::TextSave::Changed:
                switch (MessageBox::choose(this,
                                           QStringLiteral("This note was changed elsewhere (by another copy of "
                                                          "Penwick, or another program) after you opened it.\n\n"
                                                          "Your text is still here: it can replace that change, "
                                                          "or be saved as a new note beside it."),
                                           {QStringLiteral("Overwrite"), QStringLiteral("Save as new note"),
                                            QStringLiteral("Keep editing")})) {
                case 0:
                    expected = nullptr;
                    continue;
                case 1:
                    SaveAsNewNote();
                    return false;
                default:
                    return false;
                }
            }
        }
    } catch (const Firebird::Error &error) {
        saveFailed(QStringLiteral("Can't save changes in note!"), error);
        return false;
    }
}

void TFormNotatka::SaveAsNewNote()
{
    // From here on the editor holds a new note: a failed insert keeps it so.
    NoteId = -1;
    if (cAlarm->isChecked() && !ValidateAlarm())
        return;
    SaveNewNote();
}

void TFormNotatka::AnulujClick()
{
    Zamknij->trigger();
}

void TFormNotatka::ZamknijExecute()
{
    close();
}

// ---------------------------------------------------------------------------
// Alarm controls

void TFormNotatka::cAlarmClick()
{
    if (cAlarm->isChecked()) {
        cbAlarm->hide();
        if (cbAlarm->currentIndex() < 0 && NoteId == -1)
            cbAlarm->setCurrentIndex(0);
        if (NoteId == -1) {
            dtDate->setDate(Clock::currentDate());
            dtTime->setTime(Clock::currentTime());
        }
        dtDate->show();
        dtTime->show();
    } else {
        cbAlarm->hide();
        dtDate->hide();
        dtTime->hide();
    }
    AlarmChanged = true;
}

void TFormNotatka::cbAlarmChange()
{
    AlarmChanged = true;
}

bool TFormNotatka::ValidateAlarm()
{
    const NoteRules::AlarmProblem problem = NoteRules::checkAlarm(dtDate->date(), dtTime->time(),
                                                                  Clock::currentDateTime());
    if (problem == NoteRules::AlarmProblem::None)
        return true;
    MessageBox::information(this, NoteRules::message(problem));
    if (problem == NoteRules::AlarmProblem::DateBeforeToday)
        dtDate->setFocus();
    else
        dtTime->setFocus();
    return false;
}

bool TFormNotatka::ApplyAlarmOnSave(int id)
{
    const int stored = m_dm.ReadAlarmState(id);
    const bool on = cAlarm->isChecked();
    const AlarmDetails chosen {cbAlarm->currentIndex(), dtDate->date(), dtTime->time()};
    // Part of the save the user asked for: a failure is shown, not swallowed.
    auto write = [&](int state, const AlarmDetails &details = {}) {
        try {
            if (state == Alarm::Acknowledged)
                m_dm.acknowledgeAlarm(id);
            else
                m_dm.writeAlarmStateOrThrow(id, state, details);
            return true;
        } catch (const Firebird::Error &error) {
            saveFailed(QStringLiteral("Can't set the type of alarm!"), error);
            return false;
        }
    };
    switch (stored) {
    case Alarm::None:
        if (on)
            return write(Alarm::Armed, chosen);
        break;
    case Alarm::Running:
        // Saving a ringing note is its acknowledgement, whatever the box says.
        return write(Alarm::Acknowledged);
    case Alarm::Armed:
        return on ? write(Alarm::Armed, chosen) : write(Alarm::None);
    case Alarm::Acknowledged:
        // An acknowledged alarm rings again only when the user asked for it.
        if (!AlarmChanged)
            break;
        return on ? write(Alarm::Armed, chosen) : write(Alarm::None);
    default:
        break;
    }
    return true;
}
