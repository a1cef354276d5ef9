#pragma once
// A small settings file of the sectioned key=value kind.
//
// Reading: section and key names match without regard to case; a value is
// the text after the first "=", trimmed, without one enclosing pair of
// double or single quotes, at most 2047 characters.
// Writing: a value is replaced in place, a missing key is appended at the
// end of its section and a missing section at the end of the file; every
// other line stays byte for byte as it was. Changes are kept in memory and
// written by commit(), through a temporary file renamed over the old one.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class IniFile {
public:
  explicit IniFile(const QString &path); // reads the file if it exists; throws when it cannot be read
  QString readString(const QString &section, const QString &key, const QString &def) const;
  void writeString(const QString &section, const QString &key, const QString &value);
  // Replaces the first line equal to `from` (case ignored) by `to`; every
  // line then ends with CR LF. False when there is no such line.
  bool replaceLine(const QString &from, const QString &to);
  // Writes the file if anything changed. A new file is created 0600, an
  // existing one keeps its permissions. Throws LarkspanError naming the file.
  void commit();
  const QString &path() const { return m_path; }

private:
  struct Line {
    QString text;
    QString eol; // as read: a changed file keeps every other line's bytes
  };
  int findSection(const QString &section) const;
  QString m_path;
  QVector<Line> m_lines;
  bool m_bom = false;
  bool m_latin1 = false;
  bool m_dirty = false;
};
