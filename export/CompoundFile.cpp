#include "CompoundFile.h"

#include "LarkspanError.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr quint32 freeSect = 0xFFFFFFFF;
constexpr quint32 endOfChain = 0xFFFFFFFE;
constexpr quint32 fatSect = 0xFFFFFFFD;
constexpr quint32 difSect = 0xFFFFFFFC;
constexpr quint32 noStream = 0xFFFFFFFF;
constexpr int sectorSize = 512;
constexpr int miniSectorSize = 64;
constexpr int miniStreamCutoff = 4096;
constexpr int entriesPerSector = sectorSize / 4;  // FAT, mini FAT and DIFAT entries
constexpr int dirEntrySize = 128;
constexpr int headerDifatEntries = 109;

quint32 sectorsFor(qint64 bytes, int unit) { return quint32((bytes + unit - 1) / unit); }

void put16(QByteArray &b, int at, quint16 v) { qToLittleEndian(v, b.data() + at); }
void put32(QByteArray &b, int at, quint32 v) { qToLittleEndian(v, b.data() + at); }

class TSectorOut {
public:
  explicit TSectorOut(QIODevice &out) : m_out(out) {}
  void write(const char *data, qint64 size) {
    if (m_out.write(data, size) != size)
      throw LarkspanError(m_out.errorString());
  }
  void write(const QByteArray &b) { write(b.constData(), b.size()); }
  // Pads to the next whole sector.
  void pad(qint64 written) {
    const qint64 rest = (sectorSize - written % sectorSize) % sectorSize;
    if (rest)
      write(QByteArray(int(rest), '\0'));
  }

private:
  QIODevice &m_out;
};

// Writes sector numbers as a table: `entries` in sectors of 128, the rest free.
void writeTable(TSectorOut &out, const QVector<quint32> &entries, quint32 sectors) {
  QByteArray bytes(int(sectors) * sectorSize, '\xFF');
  for (int i = 0; i < entries.size(); ++i)
    put32(bytes, i * 4, entries[i]);
  out.write(bytes);
}

void appendChain(QVector<quint32> &table, quint32 first, quint32 count) {
  for (quint32 i = 0; i < count; ++i)
    table.append(i + 1 < count ? first + i + 1 : endOfChain);
}

// Directory order: shorter names first, then the upper-case texts.
bool nameLess(const QString &a, const QString &b) {
  if (a.size() != b.size())
    return a.size() < b.size();
  return a.toUpper() < b.toUpper();
}

struct TreeNode {
  quint32 left = noStream, right = noStream;
  bool red = false;
};

// A balanced tree over the sorted ids; every level but the last is full, so
// colouring the last level red (and the rest black) keeps it a valid
// red-black tree.
quint32 buildTree(const QVector<quint32> &sorted, int lo, int hi, int depth, int fullDepth,
                  QVector<TreeNode> &nodes) {
  if (lo > hi)
    return noStream;
  const int mid = (lo + hi + 1) / 2;
  const quint32 id = sorted[mid];
  nodes[id].red = depth >= fullDepth;
  nodes[id].left = buildTree(sorted, lo, mid - 1, depth + 1, fullDepth, nodes);
  nodes[id].right = buildTree(sorted, mid + 1, hi, depth + 1, fullDepth, nodes);
  return id;
}

QByteArray dirEntry(const QString &name, quint8 type, const TreeNode &node, quint32 child,
                    quint32 start, quint32 size) {
  QByteArray e(dirEntrySize, '\0');
  const int chars = int(qMin<qsizetype>(name.size(), 31));
  for (int i = 0; i < chars; ++i)
    put16(e, i * 2, name[i].unicode());
  put16(e, 64, quint16((chars + 1) * 2));
  e[66] = char(type);
  e[67] = node.red ? 0 : 1;
  put32(e, 68, node.left);
  put32(e, 72, node.right);
  put32(e, 76, child);
  put32(e, 116, start);
  put32(e, 120, size);
  return e;
}

QByteArray emptyDirEntry() {
  QByteArray e(dirEntrySize, '\0');
  put32(e, 68, noStream);
  put32(e, 72, noStream);
  put32(e, 76, noStream);
  return e;
}

}  // namespace

void TCompoundFileWriter::addStream(const QString &name, const QByteArray &data) {
  m_streams.append({name, data});
}

void TCompoundFileWriter::write(QIODevice &device) const {
  const int count = m_streams.size();
  for (const Stream &s : m_streams)
    if (s.data.size() > 0x7FFFFFFF)
      throw LarkspanError(QStringLiteral("stream too large for a compound document"));

  // Sizes of every region, in sectors.
  quint32 miniSectors = 0;
  quint32 bigSectors = 0;
  for (const Stream &s : m_streams) {
    if (s.data.size() < miniStreamCutoff)
      miniSectors += sectorsFor(s.data.size(), miniSectorSize);
    else
      bigSectors += sectorsFor(s.data.size(), sectorSize);
  }
  const quint32 dirSectors = sectorsFor(qint64(count + 1) * dirEntrySize, sectorSize);
  const quint32 miniFatSectors = sectorsFor(qint64(miniSectors) * 4, sectorSize);
  const quint32 miniStreamSectors = sectorsFor(qint64(miniSectors) * miniSectorSize, sectorSize);
  const quint32 payload = dirSectors + miniFatSectors + miniStreamSectors + bigSectors;
  quint32 fatSectors = 0, difatSectors = 0;
  for (;;) {
    const quint32 total = payload + fatSectors + difatSectors;
    const quint32 fat = sectorsFor(qint64(total) * 4, sectorSize);
    const quint32 difat =
        fat > quint32(headerDifatEntries) ? sectorsFor(qint64(fat - headerDifatEntries) * 4, sectorSize - 4) : 0;
    if (fat == fatSectors && difat == difatSectors)
      break;
    fatSectors = fat;
    difatSectors = difat;
  }

  // Region layout: FAT, DIFAT, directory, mini FAT, mini stream, big streams.
  const quint32 firstDifat = fatSectors;
  const quint32 firstDir = firstDifat + difatSectors;
  const quint32 firstMiniFat = firstDir + dirSectors;
  const quint32 firstMiniStream = firstMiniFat + miniFatSectors;
  quint32 nextBig = firstMiniStream + miniStreamSectors;

  QVector<quint32> fat;
  fat.reserve(int(fatSectors) * entriesPerSector);
  for (quint32 i = 0; i < fatSectors; ++i)
    fat.append(fatSect);
  for (quint32 i = 0; i < difatSectors; ++i)
    fat.append(difSect);
  appendChain(fat, firstDir, dirSectors);
  appendChain(fat, firstMiniFat, miniFatSectors);
  appendChain(fat, firstMiniStream, miniStreamSectors);

  QVector<quint32> miniFat;
  QVector<quint32> starts(count, endOfChain);
  quint32 nextMini = 0;
  for (int i = 0; i < count; ++i) {
    const qsizetype size = m_streams[i].data.size();
    if (size == 0)
      continue;
    if (size < miniStreamCutoff) {
      const quint32 n = sectorsFor(size, miniSectorSize);
      starts[i] = nextMini;
      appendChain(miniFat, nextMini, n);
      nextMini += n;
    } else {
      const quint32 n = sectorsFor(size, sectorSize);
      starts[i] = nextBig;
      appendChain(fat, nextBig, n);
      nextBig += n;
    }
  }

  // Directory: root entry 0, streams 1..count.
  QVector<quint32> sorted;
  for (int i = 0; i < count; ++i)
    sorted.append(quint32(i + 1));
  std::sort(sorted.begin(), sorted.end(), [this](quint32 a, quint32 b) {
    return nameLess(m_streams[int(a) - 1].name, m_streams[int(b) - 1].name);
  });
  QVector<TreeNode> nodes(count + 1);
  int fullDepth = 0;
  while ((2 << fullDepth) - 1 <= count)
    ++fullDepth;
  const quint32 treeRoot = buildTree(sorted, 0, count - 1, 0, fullDepth, nodes);

  QByteArray directory;
  directory += dirEntry(QStringLiteral("Root Entry"), 5, TreeNode(), treeRoot,
                        miniSectors ? firstMiniStream : endOfChain, miniSectors * miniSectorSize);
  for (int i = 0; i < count; ++i)
    directory += dirEntry(m_streams[i].name, 2, nodes[i + 1], noStream, starts[i],
                          quint32(m_streams[i].data.size()));
  while (directory.size() < int(dirSectors) * sectorSize)
    directory += emptyDirEntry();

  // Header.
  QByteArray header(sectorSize, '\0');
  const char signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
  std::copy(signature, signature + 8, header.data());
  put16(header, 24, 0x003E);
  put16(header, 26, 0x0003);
  put16(header, 28, 0xFFFE);
  put16(header, 30, 9);
  put16(header, 32, 6);
  put32(header, 44, fatSectors);
  put32(header, 48, firstDir);
  put32(header, 56, miniStreamCutoff);
  put32(header, 60, miniFatSectors ? firstMiniFat : endOfChain);
  put32(header, 64, miniFatSectors);
  put32(header, 68, difatSectors ? firstDifat : endOfChain);
  put32(header, 72, difatSectors);
  for (int i = 0; i < headerDifatEntries; ++i)
    put32(header, 76 + i * 4, quint32(i) < fatSectors ? quint32(i) : freeSect);

  TSectorOut out(device);
  out.write(header);
  writeTable(out, fat, fatSectors);
  if (difatSectors) {
    // Each DIFAT sector lists 127 FAT sectors and links to the next.
    QVector<quint32> difat;
    for (quint32 d = 0; d < difatSectors; ++d) {
      for (int k = 0; k < entriesPerSector - 1; ++k) {
        const quint32 fatIndex = headerDifatEntries + d * (entriesPerSector - 1) + quint32(k);
        difat.append(fatIndex < fatSectors ? fatIndex : freeSect);
      }
      difat.append(d + 1 < difatSectors ? firstDifat + d + 1 : endOfChain);
    }
    writeTable(out, difat, difatSectors);
  }
  out.write(directory);
  if (miniFatSectors)
    writeTable(out, miniFat, miniFatSectors);
  qint64 miniWritten = 0;
  for (const Stream &s : m_streams) {
    if (s.data.isEmpty() || s.data.size() >= miniStreamCutoff)
      continue;
    out.write(s.data);
    const qint64 rest = (miniSectorSize - s.data.size() % miniSectorSize) % miniSectorSize;
    if (rest)
      out.write(QByteArray(int(rest), '\0'));
    miniWritten += s.data.size() + rest;
  }
  out.pad(miniWritten);
  for (const Stream &s : m_streams) {
    if (s.data.size() < miniStreamCutoff)
      continue;
    out.write(s.data);
    out.pad(s.data.size());
  }
}
