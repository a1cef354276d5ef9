// JSON: an array with one object per row; the members are the header texts
// in column order, the values texts, or null where the table holds none.

#include "ExportIo.h"
#include "ExportWriter.h"

namespace {

void appendJsonString(QByteArray &out, const QString &text) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  const QByteArray utf8 = text.toUtf8();
  for (const char ch : utf8) {
    const auto u = static_cast<unsigned char>(ch);
    switch (u) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\b': out += "\\b"; break;
    case '\f': out += "\\f"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (u < 0x20) {
        out += "\\u00";
        out += hex[u >> 4];
        out += hex[u & 0xF];
      } else {
        out += ch;
      }
    }
  }
  out += '"';
}

class TJsonWriter final : public TExportWriter {
public:
  void write(const TExportSnapshot &s, const QString &path) const override {
    TExportOutput out(path);
    QByteArray &b = out.buffer();
    QVector<QByteArray> names;
    for (const TExportColumn &col : s.columns) {
      QByteArray name;
      appendJsonString(name, col.header);
      names.append(name + ": ");
    }
    b += '[';
    for (qsizetype r = 0; r < s.rows.size(); ++r) {
      const TExportRow &row = s.rows[r];
      b += r ? ",\n  {" : "\n  {";
      for (int c = 0; c < s.columns.size(); ++c) {
        if (c)
          b += ", ";
        b += names[c];
        if (c < row.size() && row[c])
          appendJsonString(b, *row[c]);
        else
          b += "null";
      }
      b += '}';
      out.flushIfFull();
    }
    b += s.rows.isEmpty() ? "]\n" : "\n]\n";
    out.finish();
  }
};

}  // namespace

std::unique_ptr<TExportWriter> makeJsonExportWriter() { return std::make_unique<TJsonWriter>(); }
