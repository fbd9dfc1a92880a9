#pragma once

#include "store/Note.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <vector>

// The rows of the note list: title, creation time and a state picture. Rows
// are replaced whole on each refill; only the pictures change in between.
class NoteListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Picture { PictureNote = 0, PictureAlarm = 1, PictureRunning = 2, PictureRunningRays = 3 };
    enum Role { IdRole = Qt::UserRole + 1, PictureRole };

    explicit NoteListModel(QObject *parent = nullptr);

    // A note as the list shows it: its columns and its picture of the moment.
    struct Row : Note {
        int picture = PictureNote;
    };

    // Takes the notes as the list statements read them, running alarms first.
    void setRows(std::vector<Note> notes);
    const Row &row(int index) const
    {
        return m_rows[size_t(index)];
    }
    int count() const
    {
        return int(m_rows.size());
    }
    int rowOfId(int id) const;
    void setPicture(int index, int picture);

    static int pictureForState(int alarm, bool runningGroup);
    static QString dateText(const QDate &date, const QTime &time);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<Row> m_rows;
    QIcon m_pictures[4];
};
