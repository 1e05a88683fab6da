#include "results_window/recordset_model.h"

#include "catalog/ado/recordset.h"
#include "window_services/field_text.h"

RecordsetModel::RecordsetModel(QObject *parent) : QAbstractTableModel(parent) {}

void RecordsetModel::setRecordset(std::shared_ptr<ado::Recordset> recordset)
{
    if (m_recordset)
        disconnect(m_recordset.get(), nullptr, this, nullptr);
    m_recordset = std::move(recordset);
    if (m_recordset)
        connect(m_recordset.get(), &ado::Recordset::rowsReset, this, &RecordsetModel::reload);
    reload();
}

void RecordsetModel::setColumnFormat(int column, std::shared_ptr<const StdDataFormat> format)
{
    if (format)
        m_formats[column] = std::move(format);
    else
        m_formats.erase(column);
    if (column >= 0 && column < m_columns && m_rows > 0)
        emit dataChanged(index(0, column), index(m_rows - 1, column), {Qt::DisplayRole});
}

std::shared_ptr<const StdDataFormat> RecordsetModel::columnFormat(int column) const
{
    const auto format = m_formats.find(column);
    return format == m_formats.end() ? nullptr : format->second;
}

void RecordsetModel::reload()
{
    // The recordset has already changed when it says so; the reset tells the view to
    // forget everything it held about the old rows.
    beginResetModel();
    const bool open = m_recordset && m_recordset->isOpen();
    m_rows = open ? std::max(0, m_recordset->RecordCount()) : 0;
    m_columns = open ? m_recordset->fieldCount() : 0;
    endResetModel();
}

int RecordsetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RecordsetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant RecordsetModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.model() != this || index.row() >= m_rows
        || index.column() >= m_columns)
        return QVariant();
    const QVariant value = m_recordset->valueAt(index.row(), index.column());
    const auto format = m_formats.find(index.column());
    if (format != m_formats.end() && format->second->Type == StdDataFormat::fmtBoolean) {
        const StdDataFormat &f = *format->second;
        if (!value.isValid() || value.isNull())
            return f.NullValue;
        return value.toBool() ? f.TrueValue : f.FalseValue;
    }
    return fieldText(value);
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0
        || section >= m_columns)
        return QVariant();
    return m_recordset->field(section).Name;
}
