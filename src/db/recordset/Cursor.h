#pragma once

#include "db/search/TermListing.h"

#include <QVariant>
#include <QVariantList>

// Where the rows of an open recordset come from: a statement on the file or the in-memory copy. The
// recordset moves through them and reads fields by column number; it never asks which it is.
class Cursor {
public:
    virtual ~Cursor() = default;

    virtual bool atEnd() const = 0;
    // To the first row; atEnd() when there is none.
    virtual void first() = 0;
    virtual void next() = 0;
    virtual QVariant value(int column) = 0;
    // Every column of the current row.
    virtual QVariantList row() = 0;
    // Lets go of any read of the file before the recordset writes.
    virtual void release() {}
    // The ID and term of this row and of every one after it, at once; the cursor is then at its end.
    virtual TermListing terms(int idColumn, int termColumn)
    {
        auto table = std::make_shared<TermListing::Table>();
        QList<int> rows;
        for (; !atEnd(); next())
            rows.append(table->add(value(idColumn).toLongLong(), value(termColumn)));
        return TermListing(std::move(table), std::move(rows));
    }
};
