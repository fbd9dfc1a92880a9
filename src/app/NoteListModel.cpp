#include "NoteListModel.h"

#include "ui/DialogLook.h"

#include <QLocale>

namespace {

// The locale's time separator, taken from its short time format.
QString timeSeparator()
{
    const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    const int hour = int(format.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive));
    if (hour >= 0) {
        for (int i = hour; i < format.size(); ++i) {
            const QChar c = format.at(i);
            if (c != QLatin1Char('h') && c != QLatin1Char('H'))
                return c == QLatin1Char('m') ? QString() : QString(c);
        }
    }
    return QStringLiteral(":");
}

} // namespace

NoteListModel::NoteListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_pictures[PictureNote] = DialogLook::pictureIcon(QStringLiteral(":/icons/note.png"));
    m_pictures[PictureAlarm] = DialogLook::pictureIcon(QStringLiteral(":/icons/note-alarm.png"));
    m_pictures[PictureRunning] = DialogLook::pictureIcon(QStringLiteral(":/icons/beacon.png"));
    m_pictures[PictureRunningRays] = DialogLook::pictureIcon(QStringLiteral(":/icons/beacon-rays.png"));
}

void NoteListModel::setRows(std::vector<Note> notes)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(notes.size());
    for (Note &note : notes) {
        const int picture = pictureForState(note.alarm, note.alarm == Alarm::Running);
        m_rows.push_back({std::move(note), picture});
    }
    endResetModel();
}

int NoteListModel::rowOfId(int id) const
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].id == id)
            return int(i);
    }
    return -1;
}

void NoteListModel::setPicture(int index, int picture)
{
    if (index < 0 || index >= count() || m_rows[size_t(index)].picture == picture)
        return;
    m_rows[size_t(index)].picture = picture;
    const QModelIndex cell = this->index(index, 0);
    Q_EMIT dataChanged(cell, cell, {Qt::DecorationRole, PictureRole});
}

int NoteListModel::pictureForState(int alarm, bool runningGroup)
{
    if (runningGroup)
        return PictureRunning;
    return alarm == Alarm::Armed || alarm == Alarm::Acknowledged ? PictureAlarm : PictureNote;
}

QString NoteListModel::dateText(const QDate &date, const QTime &time)
{
    static const QString timeFormat = QStringLiteral("HH") + timeSeparator() + QStringLiteral("mm");
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + time.toString(timeFormat);
}

int NoteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int NoteListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant NoteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    const Row &r = m_rows[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? r.title : dateText(r.createdDate, r.createdTime);
    case Qt::DecorationRole:
        if (index.column() == 0 && r.picture >= 0 && r.picture < 4)
            return m_pictures[r.picture];
        return QVariant();
    case IdRole:
        return r.id;
    case PictureRole:
        return r.picture;
    default:
        return QVariant();
    }
}

QVariant NoteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return section == 0 ? tr("Title") : tr("Date");
}
