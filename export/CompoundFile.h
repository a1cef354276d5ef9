#pragma once
// Writer of a compound document (the container of .xls files): version 3,
// 512-byte sectors, streams in the root storage only. Streams below 4096
// bytes go to the mini stream as the format requires.

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

class TCompoundFileWriter {
public:
  // Names are at most 31 characters and unique.
  void addStream(const QString &name, const QByteArray &data);
  // Writes the whole document; throws LarkspanError when the device fails.
  void write(QIODevice &out) const;

private:
  struct Stream {
    QString name;
    QByteArray data;
  };
  QVector<Stream> m_streams;
};
