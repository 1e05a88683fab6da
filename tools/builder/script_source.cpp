#include "tools/builder/script_source.h"

#include <charconv>
#include <sstream>

namespace build {
namespace {

std::vector<std::string> words(const std::string &line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

bool number(const std::string &s, int &out)
{
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

Value cell(std::string_view raw)
{
    Value v;
    if (raw == "\\N")
        return v;
    v.kind = Value::Kind::Text;
    v.bytes.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 5 < raw.size() && raw[i + 1] == 'u') {
            // \uXXXX: a control character or line separator as catalog-dump escapes it.
            unsigned cp = 0;
            const auto r = std::from_chars(raw.data() + i + 2, raw.data() + i + 6, cp, 16);
            if (r.ec == std::errc() && r.ptr == raw.data() + i + 6) {
                if (cp < 0x80) {
                    v.bytes += char(cp);
                } else if (cp < 0x800) {
                    v.bytes += char(0xc0 | (cp >> 6));
                    v.bytes += char(0x80 | (cp & 0x3f));
                } else {
                    v.bytes += char(0xe0 | (cp >> 12));
                    v.bytes += char(0x80 | ((cp >> 6) & 0x3f));
                    v.bytes += char(0x80 | (cp & 0x3f));
                }
                i += 5;
                continue;
            }
        }
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            const char c = raw[++i];
            v.bytes += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            v.bytes += raw[i];
        }
    }
    return v;
}

/// One line, without its end: a script saved with Windows line ends reads as one without (a
/// carriage return in a value is written as \r).
bool readLine(std::istream &in, std::string &line)
{
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

}  // namespace

bool ScriptSource::looksLikeScript(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::string first;
    return in && readLine(in, first) && first.rfind("TABLE ", 0) == 0;
}

ScriptSource::ScriptSource(const std::string &path) : m_path(path), m_in(path, std::ios::binary)
{
    if (!m_in)
        throw BuildError("cannot open '" + path + "'");
    std::string line;
    std::size_t lineNumber = 0;
    bool inRows = false;
    auto fail = [&](const std::string &why) {
        throw BuildError(path + ", line " + std::to_string(lineNumber) + ": " + why);
    };
    while (true) {
        const std::streamoff at = m_in.tellg();
        if (!readLine(m_in, line))
            break;
        ++lineNumber;
        if (line.empty())
            continue;
        if (line.rfind("ROW ", 0) == 0 || line == "ROW") {
            if (m_tables.empty())
                fail("a ROW before any TABLE");
            if (!inRows) {
                m_rowsAt.back() = at;
                m_firstLine.back() = lineNumber;
            }
            inRows = true;
            continue;
        }
        const std::vector<std::string> w = words(line);
        if (w[0] == "TABLE" && w.size() == 2) {
            m_tables.push_back({w[1], {}, {}});
            m_rowsAt.push_back(-1);
            m_firstLine.push_back(0);
            inRows = false;
        } else if (w[0] == "COLUMN" && w.size() >= 3) {
            if (m_tables.empty() || inRows)
                fail("a COLUMN outside a table's header");
            jet::Column c;
            c.name = w[1];
            const jet::StoredTypeInfo *stored = jet::storedTypeOfWord(w[2]);
            if (!stored || !stored->built)
                fail("unknown type '" + w[2] + "'");
            c.type = stored->type;
            std::size_t next = 3;
            if (c.type == jet::StoredType::Text && (next >= w.size() || !number(w[next++], c.length)))
                fail("TEXT needs its length");
            if (c.type == jet::StoredType::Numeric &&
                (next + 1 >= w.size() || !number(w[next], c.precision) || !number(w[next + 1], c.scale)))
                fail("NUMERIC needs its precision and scale");
            if (c.type == jet::StoredType::Numeric)
                next += 2;
            if (next < w.size() && w[next] == "AUTONUMBER") {
                c.autoNumber = true;
                ++next;
            }
            std::string expression;
            if (next < w.size() && w[next] == "CALCULATED") {
                c.calculated = true;  // the rows give the values Access computed
                // The rest of the line, as written, is the expression.
                const std::string mark = " CALCULATED";
                std::size_t at = line.find(mark);
                while (at != std::string::npos && words(line.substr(0, at)).size() != next)
                    at = line.find(mark, at + 1);
                const std::size_t start = at == std::string::npos ? at : line.find_first_not_of(" \t", at + mark.size());
                if (start != std::string::npos)
                    expression = line.substr(start);
                next = w.size();
            }
            if (next != w.size())
                fail("unexpected '" + w[next] + "'");
            TableDef &t = m_tables.back();
            if (!expression.empty()) {
                t.expressions.resize(t.columns.size() + 1);
                t.expressions.back() = expression;
            }
            t.columns.push_back(c);
        } else if (w[0] == "PRIMARYKEY" && w.size() == 2) {
            if (m_tables.empty() || inRows)
                fail("a PRIMARYKEY outside a table's header");
            m_tables.back().primaryKey.push_back(w[1]);
        } else {
            fail("not a TABLE, COLUMN, PRIMARYKEY or ROW line");
        }
    }
}

void ScriptSource::forEachRow(std::size_t index, const std::function<void(const std::vector<Value> &)> &row)
{
    if (m_rowsAt[index] < 0)
        return;
    m_in.clear();
    m_in.seekg(m_rowsAt[index]);
    std::string line;
    std::vector<Value> values;
    const std::size_t columns = m_tables[index].columns.size();
    for (std::size_t lineNumber = m_firstLine[index]; readLine(m_in, line); ++lineNumber) {
        if (line.empty())
            continue;
        if (line.rfind("TABLE ", 0) == 0)
            break;
        const std::string_view body = line.size() > 4 ? std::string_view(line).substr(4) : std::string_view();
        values.clear();
        for (std::size_t start = 0;;) {
            const std::size_t tab = body.find('\t', start);
            values.push_back(cell(body.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start)));
            if (tab == std::string_view::npos)
                break;
            start = tab + 1;
        }
        if (values.size() != columns)
            throw BuildError(m_path + ", line " + std::to_string(lineNumber) + ": " + std::to_string(values.size()) +
                             " values for the " + std::to_string(columns) + " columns of table '" +
                             m_tables[index].name + "'");
        row(values);
    }
}

}  // namespace build
