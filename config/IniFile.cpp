#include "IniFile.h"

#include "LarkspanError.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

namespace {
const qsizetype MaxValueLength = 2047;

QString trimBlanks(QStringView s) { return s.trimmed().toString(); }

// "[name]" with optional blanks around; empty when the line is no header.
QString sectionName(const QString &line) {
  const QString t = line.trimmed();
  if (!t.startsWith(QLatin1Char('[')))
    return QString();
  const qsizetype close = t.indexOf(QLatin1Char(']'));
  return close < 0 ? QString() : trimBlanks(QStringView(t).mid(1, close - 1));
}

bool isSection(const QString &line) {
  const QString t = line.trimmed();
  return t.startsWith(QLatin1Char('[')) && t.contains(QLatin1Char(']'));
}

bool isComment(const QString &line) {
  const QString t = line.trimmed();
  return t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'));
}

// Key of a "key=value" line; empty when the line holds none.
QString keyOf(const QString &line) {
  if (isComment(line) || isSection(line))
    return QString();
  const qsizetype eq = line.indexOf(QLatin1Char('='));
  return eq < 0 ? QString() : trimBlanks(QStringView(line).left(eq));
}

// A value that would not read back the same (outer blanks, enclosing
// quotes) is written between double quotes: reading strips exactly one pair.
QString storedValue(const QString &value) {
  const auto blank = [](QChar c) { return c.unicode() <= 32 || c.isSpace(); };
  const bool outerBlank = !value.isEmpty() && (blank(value.front()) || blank(value.back()));
  const bool enclosed = value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
                        value.back() == value.front();
  return outerBlank || enclosed ? QLatin1Char('"') + value + QLatin1Char('"') : value;
}
} // namespace

IniFile::IniFile(const QString &path) : m_path(QFileInfo(path).absoluteFilePath()) {
  QFile file(m_path);
  if (!file.exists())
    return;
  if (!file.open(QIODevice::ReadOnly))
    throw LarkspanError(QStringLiteral("Cannot read settings file %1: %2").arg(m_path, file.errorString()));
  QByteArray bytes = file.readAll();
  if (bytes.startsWith("\xEF\xBB\xBF")) {
    m_bom = true;
    bytes.remove(0, 3);
  }
  QString text = QString::fromUtf8(bytes);
  if (text.toUtf8() != bytes) {
    m_latin1 = true; // an older tool's 8-bit file: keep its encoding on write
    text = QString::fromLatin1(bytes);
  }
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
      continue;
    qsizetype eolLen = 1;
    if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
      eolLen = 2;
    m_lines.push_back({text.mid(start, i - start), text.mid(i, eolLen)});
    i += eolLen - 1;
    start = i + 1;
  }
  if (start < text.size())
    m_lines.push_back({text.mid(start), QString()});
}

int IniFile::findSection(const QString &section) const {
  for (int i = 0; i < m_lines.size(); ++i)
    if (isSection(m_lines[i].text) && sectionName(m_lines[i].text).compare(section, Qt::CaseInsensitive) == 0)
      return i;
  return -1;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const {
  const int header = findSection(section);
  if (header < 0)
    return def;
  for (int i = header + 1; i < m_lines.size() && !isSection(m_lines[i].text); ++i) {
    const QString &line = m_lines[i].text;
    if (keyOf(line).compare(key, Qt::CaseInsensitive) != 0 || keyOf(line).isEmpty())
      continue;
    QString value = trimBlanks(QStringView(line).mid(line.indexOf(QLatin1Char('=')) + 1));
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
      value = value.mid(1, value.size() - 2);
    return value.left(MaxValueLength);
  }
  return def;
}

void IniFile::writeString(const QString &section, const QString &key, const QString &value) {
  const QString stored = storedValue(value);
  int header = findSection(section);
  if (header < 0) {
    if (!m_lines.isEmpty() && m_lines.back().eol.isEmpty())
      m_lines.back().eol = QStringLiteral("\r\n");
    m_lines.push_back({QLatin1Char('[') + section + QLatin1Char(']'), QStringLiteral("\r\n")});
    m_lines.push_back({key + QLatin1Char('=') + stored, QStringLiteral("\r\n")});
    m_dirty = true;
    return;
  }
  int lastEntry = header;
  for (int i = header + 1; i < m_lines.size() && !isSection(m_lines[i].text); ++i) {
    QString &line = m_lines[i].text;
    const QString k = keyOf(line);
    if (k.isEmpty())
      continue;
    lastEntry = i;
    if (k.compare(key, Qt::CaseInsensitive) == 0) {
      // Keep the key as the file spells it; only the value changes.
      const QString updated = line.left(line.indexOf(QLatin1Char('=')) + 1) + stored;
      if (updated != line) {
        line = updated;
        m_dirty = true;
      }
      return;
    }
  }
  Line entry{key + QLatin1Char('=') + stored, QStringLiteral("\r\n")};
  if (m_lines[lastEntry].eol.isEmpty())
    m_lines[lastEntry].eol = QStringLiteral("\r\n");
  m_lines.insert(lastEntry + 1, entry);
  m_dirty = true;
}

bool IniFile::replaceLine(const QString &from, const QString &to) {
  for (Line &line : m_lines) {
    if (line.text.compare(from, Qt::CaseInsensitive) == 0) {
      line.text = to;
      for (Line &l : m_lines)
        l.eol = QStringLiteral("\r\n");
      m_dirty = true;
      return true;
    }
  }
  return false;
}

void IniFile::commit() {
  if (!m_dirty)
    return;
  QString text;
  for (const Line &line : m_lines)
    text += line.text + line.eol;
  // An 8-bit file keeps its encoding only while every character fits it; a
  // value beyond it (a "€" in a password) turns the file to UTF-8, which
  // keeps every other line's characters and reads back the same.
  if (m_latin1) {
    const QByteArray latin1 = text.toLatin1();
    if (QString::fromLatin1(latin1) != text)
      m_latin1 = false;
  }
  QByteArray bytes = m_latin1 ? text.toLatin1() : text.toUtf8();
  if (m_bom)
    bytes.prepend("\xEF\xBB\xBF");

  // Holds the password in plain text: a new file is the owner's alone, an
  // existing one keeps the permissions it was given.
  writeFileAtomically(m_path, bytes, 0600, QStringLiteral("settings file"));
  m_dirty = false;
}
