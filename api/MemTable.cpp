#include "MemTable.h"

#include "LarkspanError.h"

#include <algorithm>
#include <vector>

namespace {

// One element of a compiled LIKE pattern.
struct LikeToken {
  enum Kind { Literal, AnyOne, AnyRun } kind = Literal;
  char32_t cp = 0;     // the literal as written
  char32_t folded = 0; // its simple case folding
};

struct LikeCondition {
  int field = -1;
  std::vector<LikeToken> tokens;
};

char32_t codePointAt(const QChar *s, qsizetype n, qsizetype i, qsizetype *next) {
  const char16_t u = s[i].unicode();
  if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode())) {
    *next = i + 2;
    return QChar::surrogateToUcs4(u, s[i + 1].unicode());
  }
  *next = i + 1;
  return u;
}

// Wildcard match over code points ("_" is one character, also outside the
// basic plane). Greedy with one back-track point: linear for the patterns
// the filter bar builds, at worst value length × pattern length.
bool likeMatch(const std::vector<LikeToken> &tok, const QString &value, bool caseInsensitive) {
  const QChar *s = value.constData();
  const qsizetype n = value.size();
  const size_t m = tok.size();
  size_t p = 0;
  qsizetype i = 0;
  size_t starP = size_t(-1);
  qsizetype starI = 0;
  while (i < n) {
    if (p < m) {
      const LikeToken &t = tok[p];
      if (t.kind == LikeToken::AnyRun) {
        starP = p++;
        starI = i;
        continue;
      }
      qsizetype next;
      const char32_t c = codePointAt(s, n, i, &next);
      if (t.kind == LikeToken::AnyOne
          || (caseInsensitive ? QChar::toCaseFolded(c) == t.folded : c == t.cp)) {
        i = next;
        ++p;
        continue;
      }
    }
    if (starP == size_t(-1))
      return false;
    p = starP + 1;
    codePointAt(s, n, starI, &starI);
    i = starI;
  }
  while (p < m && tok[p].kind == LikeToken::AnyRun)
    ++p;
  return p == m;
}

bool isBlank(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isIdentStart(QChar c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool isIdentChar(QChar c) {
  return isIdentStart(c) || (c >= u'0' && c <= u'9');
}

// Case-insensitive keyword at pos, not followed by a name character;
// advances pos past it.
bool takeKeyword(const QString &text, qsizetype &pos, QLatin1String word) {
  if (pos + word.size() > text.size())
    return false;
  if (QStringView(text).mid(pos, word.size()).compare(word, Qt::CaseInsensitive) != 0)
    return false;
  const qsizetype end = pos + word.size();
  if (end < text.size() && isIdentChar(text[end]))
    return false;
  pos = end;
  return true;
}

} // namespace

struct TMemTable::Impl {
  QVector<TMemField> fields;
  // Column-wise storage: one vector of texts and one of null flags per
  // field. A sort compares one column; a filter reads a few.
  QVector<QVector<QString>> values;
  QVector<std::vector<bool>> nulls;
  int rows = 0;

  QString sortSpec;
  int sortField = -1;
  bool sortDescending = false;

  QString filterText;
  std::vector<LikeCondition> conditions;
  bool filtered = false;
  bool caseInsensitive = false;

  mutable QVector<int> order;   // storage indexes in sort order
  mutable QVector<int> visible; // order through the filter
  mutable bool orderDirty = true;
  mutable bool visibleDirty = true;

  void rowsChanged() {
    orderDirty = true;
    visibleDirty = true;
  }

  void checkRow(int row) const {
    if (row < 0 || row >= rows)
      throw LarkspanError(QStringLiteral("Row %1 out of range (%2 rows)").arg(row).arg(rows));
  }
  void checkField(int f) const {
    if (f < 0 || f >= fields.size())
      throw LarkspanError(
          QStringLiteral("Field %1 out of range (%2 fields)").arg(f).arg(fields.size()));
  }

  void rebuildOrder() const;
  void rebuildVisible() const;
  std::vector<LikeCondition> parseFilter(const QString &text, const TMemTable &table) const;
};

// Collation of the sort: texts compared by their Unicode simple case folding,
// code unit by code unit, independent of the locale; texts that fold alike
// are ordered by their exact code units; rows still equal keep their storage
// order (stable sort). Digits are plain characters, so "100" < "20" < "3".
// A null value sorts as the empty text.
void TMemTable::Impl::rebuildOrder() const {
  order.resize(rows);
  for (int i = 0; i < rows; ++i)
    order[i] = i;
  if (sortField >= 0) {
    const QVector<QString> &col = values[sortField];
    auto less = [&col](int a, int b) {
      const QString &x = col[a];
      const QString &y = col[b];
      int c = QString::compare(x, y, Qt::CaseInsensitive);
      if (c == 0)
        c = QString::compare(x, y, Qt::CaseSensitive);
      return c < 0;
    };
    if (sortDescending)
      std::stable_sort(order.begin(), order.end(), [&less](int a, int b) { return less(b, a); });
    else
      std::stable_sort(order.begin(), order.end(), less);
  }
  orderDirty = false;
  visibleDirty = true;
}

void TMemTable::Impl::rebuildVisible() const {
  if (orderDirty)
    rebuildOrder();
  if (!filtered || conditions.empty()) {
    visible = order; // implicitly shared, no copy
  } else {
    visible.clear();
    visible.reserve(order.size());
    for (int row : std::as_const(order)) {
      bool pass = true;
      for (const LikeCondition &c : conditions) {
        if (!likeMatch(c.tokens, values[c.field][row], caseInsensitive)) {
          pass = false;
          break;
        }
      }
      if (pass)
        visible.append(row);
    }
  }
  visibleDirty = false;
}

std::vector<LikeCondition> TMemTable::Impl::parseFilter(const QString &text,
                                                        const TMemTable &table) const {
  auto fail = [&text](const QString &what, qsizetype pos) -> LarkspanError {
    return LarkspanError(QStringLiteral("Invalid filter at position %1: %2 in: %3")
                             .arg(pos + 1)
                             .arg(what, text));
  };
  std::vector<LikeCondition> result;
  qsizetype pos = 0;
  const qsizetype n = text.size();
  auto skipBlanks = [&] {
    while (pos < n && isBlank(text[pos]))
      ++pos;
  };
  skipBlanks();
  if (pos == n)
    return result;
  for (;;) {
    if (pos >= n || !isIdentStart(text[pos]))
      throw fail(QStringLiteral("field name expected"), pos);
    const qsizetype nameStart = pos;
    while (pos < n && isIdentChar(text[pos]))
      ++pos;
    const QString name = text.mid(nameStart, pos - nameStart);
    LikeCondition cond;
    cond.field = table.findField(name);
    if (cond.field < 0)
      throw fail(QStringLiteral("unknown field \"%1\"").arg(name), nameStart);
    if (pos >= n || !isBlank(text[pos]))
      throw fail(QStringLiteral("LIKE expected"), pos);
    skipBlanks();
    if (!takeKeyword(text, pos, QLatin1String("LIKE")))
      throw fail(QStringLiteral("LIKE expected"), pos);
    skipBlanks();
    if (pos >= n || text[pos] != u'\'')
      throw fail(QStringLiteral("quoted pattern expected"), pos);
    const qsizetype quotePos = pos++;
    bool closed = false;
    while (pos < n) {
      qsizetype next;
      const char32_t c = codePointAt(text.constData(), n, pos, &next);
      if (c == U'\'') {
        if (next < n && text[next] == u'\'') {
          cond.tokens.push_back({LikeToken::Literal, U'\'', U'\''});
          pos = next + 1;
          continue;
        }
        pos = next;
        closed = true;
        break;
      }
      if (c == U'%') {
        if (cond.tokens.empty() || cond.tokens.back().kind != LikeToken::AnyRun)
          cond.tokens.push_back({LikeToken::AnyRun, 0, 0});
      } else if (c == U'_') {
        cond.tokens.push_back({LikeToken::AnyOne, 0, 0});
      } else {
        cond.tokens.push_back({LikeToken::Literal, c, QChar::toCaseFolded(c)});
      }
      pos = next;
    }
    if (!closed)
      throw fail(QStringLiteral("unterminated pattern"), quotePos);
    result.push_back(std::move(cond));
    skipBlanks();
    if (pos == n)
      return result;
    if (!takeKeyword(text, pos, QLatin1String("AND")))
      throw fail(QStringLiteral("AND or end expected"), pos);
    if (pos >= n || !isBlank(text[pos]))
      throw fail(QStringLiteral("blank expected after AND"), pos);
    skipBlanks();
  }
}

TMemTable::TMemTable() : d(new Impl) {}

TMemTable::~TMemTable() {
  delete d;
}

int TMemTable::addField(const QString &name, int size, const QString &displayLabel) {
  if (name.isEmpty())
    throw LarkspanError(QStringLiteral("A field needs a name"));
  if (findField(name) >= 0)
    throw LarkspanError(QStringLiteral("Duplicate field name: %1").arg(name));
  d->fields.append(TMemField{name, size, displayLabel});
  d->values.append(QVector<QString>(d->rows));
  d->nulls.append(std::vector<bool>(size_t(d->rows), true));
  return int(d->fields.size() - 1);
}

int TMemTable::fieldCount() const {
  return int(d->fields.size());
}

const TMemField &TMemTable::field(int index) const {
  d->checkField(index);
  return d->fields[index];
}

int TMemTable::findField(const QString &name) const {
  for (int i = 0; i < d->fields.size(); ++i)
    if (d->fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
      return i;
  return -1;
}

int TMemTable::fieldIndex(const QString &name) const {
  const int i = findField(name);
  if (i < 0)
    throw LarkspanError(QStringLiteral("Field '%1' not found").arg(name));
  return i;
}

int TMemTable::appendRow() {
  for (int f = 0; f < d->fields.size(); ++f) {
    d->values[f].append(QString());
    d->nulls[f].push_back(true);
  }
  d->rowsChanged();
  return d->rows++;
}

void TMemTable::reserveRows(int rows) {
  for (int f = 0; f < d->fields.size(); ++f) {
    d->values[f].reserve(rows);
    d->nulls[f].reserve(size_t(rows));
  }
}

void TMemTable::setValue(int row, int field, const QString &value) {
  d->checkRow(row);
  d->checkField(field);
  d->values[field][row] = value;
  d->nulls[field][size_t(row)] = false;
  d->rowsChanged();
}

void TMemTable::setNull(int row, int field) {
  d->checkRow(row);
  d->checkField(field);
  d->values[field][row] = QString();
  d->nulls[field][size_t(row)] = true;
  d->rowsChanged();
}

bool TMemTable::isNull(int row, int field) const {
  d->checkRow(row);
  d->checkField(field);
  return d->nulls[field][size_t(row)];
}

const QString &TMemTable::value(int row, int field) const {
  d->checkRow(row);
  d->checkField(field);
  return d->values[field][row];
}

std::optional<QString> TMemTable::valueOrNull(int row, int field) const {
  if (isNull(row, field))
    return std::nullopt;
  return d->values[field][row];
}

int TMemTable::rowCount() const {
  return d->rows;
}

void TMemTable::clearRows() {
  for (int f = 0; f < d->fields.size(); ++f) {
    d->values[f].clear();
    d->nulls[f].clear();
  }
  d->rows = 0;
  d->rowsChanged();
}

void TMemTable::setIndexFieldNames(const QString &spec) {
  if (spec.isEmpty()) {
    d->sortSpec.clear();
    d->sortField = -1;
    d->sortDescending = false;
    d->orderDirty = true;
    return;
  }
  QString name = spec;
  bool descending = false;
  const qsizetype colon = spec.indexOf(u':');
  if (colon >= 0) {
    const QString suffix = spec.mid(colon + 1);
    if (suffix.compare(QLatin1String("D"), Qt::CaseInsensitive) == 0)
      descending = true;
    else if (suffix.compare(QLatin1String("A"), Qt::CaseInsensitive) != 0)
      throw LarkspanError(QStringLiteral("Invalid sort specification: %1").arg(spec));
    name = spec.left(colon);
  }
  const int f = findField(name);
  if (f < 0)
    throw LarkspanError(QStringLiteral("Sort field '%1' not found").arg(name));
  d->sortSpec = spec;
  d->sortField = f;
  d->sortDescending = descending;
  d->orderDirty = true;
}

QString TMemTable::indexFieldNames() const {
  return d->sortSpec;
}

void TMemTable::setFilter(const QString &expression) {
  std::vector<LikeCondition> parsed = d->parseFilter(expression, *this);
  d->conditions = std::move(parsed);
  d->filterText = expression;
  d->visibleDirty = true;
}

QString TMemTable::filter() const {
  return d->filterText;
}

void TMemTable::setFiltered(bool on) {
  if (d->filtered != on) {
    d->filtered = on;
    d->visibleDirty = true;
  }
}

bool TMemTable::filtered() const {
  return d->filtered;
}

void TMemTable::setFilterCaseInsensitive(bool on) {
  if (d->caseInsensitive != on) {
    d->caseInsensitive = on;
    d->visibleDirty = true;
  }
}

bool TMemTable::filterCaseInsensitive() const {
  return d->caseInsensitive;
}

const QVector<int> &TMemTable::visibleRows() const {
  if (d->orderDirty || d->visibleDirty)
    d->rebuildVisible();
  return d->visible;
}
