// The generic text forms of a connection description: the one-line summary,
// the percent-encoded NAME=value text and loading from a data set record.

#include "OPortDesc.h"

#include "LarkspanError.h"

#include <QCollator>
#include <QLocale>

namespace {
QString familyPrefix(qint32 type) {
  switch (type) {
  case 0:
    return QStringLiteral("???");
  case 1:
  case 2:
    return QStringLiteral("PB_TLN");
  case 3:
    return QStringLiteral("PB_FILE");
  case 4:
  case 5:
    return QStringLiteral("PB_FTP");
  case 6:
    return QStringLiteral("PB_BD");
  case 9:
  case 12:
  case 13:
    return QStringLiteral("PB_HTTP");
  default:
    return QString();
  }
}

bool needsQuotes(const QString &value) {
  for (const QChar c : value) {
    const char16_t u = c.unicode();
    if ((u >= 1 && u <= 32) || u == u'"' || u == u',')
      return true;
  }
  return false;
}

QString quoted(const QString &value) {
  QString out = value;
  out.replace(QLatin1String("\""), QLatin1String("\"\""));
  return QLatin1Char('"') + out + QLatin1Char('"');
}

void applyByKind(const PropInfo &prop, TPortDesc &target, const QString &value) { prop.write(target, value); }
} // namespace

QString TPortDesc::PortToString() const {
  const QString prefix = familyPrefix(PB_TYPEPORT());
  // The user's locale collation, letter case ignored: a stable order for a
  // given user. Values equal under it are listed once.
  QCollator collator{QLocale()};
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  QStringList values;
  if (!prefix.isEmpty()) {
    for (const PropInfo &prop : basePropertyTable()) {
      const QLatin1String name(prop.name);
      if (!QString(name).contains(prefix) || name == QLatin1String("PB_TYPEPORT") ||
          name == QLatin1String("PB_CONNEXION") || prop.kind == PropKind::Boolean)
        continue;
      const QString value = prop.read(*this);
      if (value.isEmpty())
        continue;
      const auto pos = std::lower_bound(values.begin(), values.end(), value,
                                        [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
      if (pos != values.end() && collator.compare(*pos, value) == 0)
        continue;
      values.insert(pos, value);
    }
  }
  QStringList parts;
  parts.reserve(values.size());
  for (const QString &v : values)
    parts << (needsQuotes(v) ? quoted(v) : v);
  const QString name = GetDelimitedField(QString::fromUtf8(PortTypeNames), QLatin1Char(','), PB_TYPEPORT() + 1, true);
  return name + QLatin1Char(':') + parts.join(QLatin1Char(','));
}

namespace {
// Items of the NAME=value text: lines, or items separated by one delimiter
// where an item beginning with a double quote runs to the next lone quote.
QStringList splitItems(const QString &text, QChar delim) {
  QStringList items;
  if (delim.isNull()) {
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
      const QChar c = text.at(i);
      if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
        items << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
          ++i;
        start = i + 1;
      }
    }
    if (start < n)
      items << text.mid(start);
    return items;
  }
  const qsizetype n = text.size();
  qsizetype i = 0;
  bool afterDelim = false;
  while (i < n) {
    afterDelim = false;
    if (text.at(i) == QLatin1Char('"')) {
      QString item;
      for (++i; i < n; ++i) {
        if (text.at(i) != QLatin1Char('"')) {
          item += text.at(i);
        } else if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
          item += QLatin1Char('"'); // a doubled quote stands for one
          ++i;
        } else {
          ++i; // the closing quote
          break;
        }
      }
      items << item;
      // The next item begins after the delimiter that follows, or right away.
      if (i < n && text.at(i) == delim) {
        ++i;
        afterDelim = true;
      }
    } else {
      const qsizetype next = text.indexOf(delim, i);
      if (next < 0) {
        items << text.mid(i);
        i = n;
      } else {
        items << text.mid(i, next - i);
        i = next + 1;
        afterDelim = true;
      }
    }
  }
  if (afterDelim)
    items << QString(); // a delimiter at the very end adds an empty item
  return items;
}
} // namespace

void TOProtoTypePBX::FromString(const QString &sIn, QChar cDelim) {
  const QStringList items = splitItems(sIn, cDelim);
  const qint32 keptNum = PB_NUM();
  for (const PropInfo &prop : pbxPropertyTable()) {
    const QLatin1String name(prop.name);
    if (!QString(name).contains(QLatin1String("PB_")))
      continue;
    for (const QString &item : items) {
      const qsizetype eq = item.indexOf(QLatin1Char('='));
      if (eq < 0 || QStringView(item).left(eq).compare(name, Qt::CaseInsensitive) != 0)
        continue;
      try {
        applyByKind(prop, *this, PercentDecode(item.mid(eq + 1)));
      } catch (...) {
        SetPB_NUM(keptNum);
        throw;
      }
      break; // the first item of a name counts
    }
  }
  SetPB_NUM(keptNum);
}

qint32 TPortDesc::GetProp(const TDataRecord &DataIn) {
  for (const PropInfo &prop : TOProtoTypePBX::pbxPropertyTable()) {
    const QLatin1String name(prop.name);
    if (!QString(name).contains(QLatin1String("PB_")))
      continue;
    // Properties of the derived class apply only to a TOProtoTypePBX.
    const auto &own = properties();
    const bool known = std::any_of(own.begin(), own.end(), [&](const PropInfo &p) { return name == QLatin1String(p.name); });
    const std::optional<QString> value = DataIn.fieldValue(QString(name));
    if (value && known)
      applyByKind(prop, *this, *value);
  }
  return 0;
}

QString PercentDecode(const QString &text) {
  const QByteArray in = text.toLatin1();
  QByteArray out;
  out.reserve(in.size());
  const auto fail = [&] { throw LarkspanError(QStringLiteral("HTTP decode err. / ") + text); };
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  };
  for (qsizetype i = 0; i < in.size(); ++i) {
    const char c = in.at(i);
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (i + 1 < in.size() && in.at(i + 1) == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (i + 2 >= in.size())
        fail();
      const int hi = hex(in.at(i + 1));
      const int lo = hex(in.at(i + 2));
      if (hi < 0 || lo < 0)
        fail();
      out += char(hi * 16 + lo);
      i += 2;
    } else {
      out += c;
    }
  }
  return QString::fromLatin1(out);
}

QString GetDelimitedField(const QString &text, QChar delim, int n, bool unquote) {
  if (text.isEmpty() || n < 1)
    return QString();
  QString field;
  qsizetype start = 0;
  int index = 1;
  for (;;) {
    const qsizetype next = text.indexOf(delim, start);
    if (index == n) {
      field = next < 0 ? text.mid(start) : text.mid(start, next - start);
      break;
    }
    if (next < 0)
      return QString();
    start = next + 1;
    ++index;
  }
  return unquote ? StripQuotes(field, false, false) : field;
}

QString StripQuotes(const QString &text, bool trim, bool keepSingleQuotes) {
  if (text.isEmpty())
    return text;
  QString out = text;
  const auto strip = [&out](QChar q) {
    out.remove(0, 1);
    if (!out.isEmpty() && out.back() == q)
      out.chop(1);
  };
  if (out.front() == QLatin1Char('"'))
    strip(QLatin1Char('"'));
  else if (out.front() == QLatin1Char('\'') && !keepSingleQuotes)
    strip(QLatin1Char('\''));
  return trim ? trimControl(out) : out;
}
