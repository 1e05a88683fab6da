#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <map>
#include <memory>

namespace ado {
class Recordset;
}

/// The display format of a Boolean column: the texts for true, false and Null.
struct StdDataFormat {
    enum FormatType : int { fmtGeneral = 0, fmtBoolean = 5 };
    int Type = fmtGeneral;
    QString TrueValue;
    QString FalseValue;
    QString NullValue;
};

/// The grid's view of a recordset: one row per row that passes its filter, in its sort
/// order; one column per field, headed by the field's name. Cells are read on demand
/// (nothing is copied), so a listing of any length binds at once. Columns without a format
/// show their values as plain text.
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(QObject *parent = nullptr);

    /// Binds the model to `recordset` (or unbinds it, with null) and follows its resets.
    void setRecordset(std::shared_ptr<ado::Recordset> recordset);
    const std::shared_ptr<ado::Recordset> &recordset() const { return m_recordset; }

    /// Gives `column` a display format; null removes it.
    void setColumnFormat(int column, std::shared_ptr<const StdDataFormat> format);
    /// The display format of `column`, null when it has none.
    std::shared_ptr<const StdDataFormat> columnFormat(int column) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void reload();

    std::shared_ptr<ado::Recordset> m_recordset;
    std::map<int, std::shared_ptr<const StdDataFormat>> m_formats;
    // Shape as of the last reset, so the view never sees rows come or go between resets.
    int m_rows = 0;
    int m_columns = 0;
};
