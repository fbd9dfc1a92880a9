#pragma once

#include <QVector>

// What a dialog may ask of the window that shows the note list: the dialogs
// tell it about their changes, and never reach into its controls.
class NoteListHost
{
public:
    virtual ~NoteListHost() = default;

    // The ID of the note to select after the next refill (-1 for none).
    virtual int selectedNoteId() const = 0;
    virtual void setSelectedNoteId(int id) = 0;
    // The IDs of the rows as the list shows them, top to bottom.
    virtual QVector<int> listIds() const = 0;

    // Reads the whole list again, selecting rememberedId when it is there.
    virtual bool FillNoteList(int rememberedId) = 0;
    // Reads the list again under the search text that is typed, if any.
    virtual void RefreshNoteList() = 0;
    // Whether the search box holds text, so a refill would drop the filter.
    virtual bool searchTextTyped() const = 0;
    virtual void focusNoteList() = 0;
};
