#include "gif_writer.h"

namespace testsupport {

namespace {

void Put16(QByteArray& out, int value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

// LZW with 9-bit codes only: every pixel goes out as its own literal, and a
// clear code comes often enough that the decoder's table never grows past
// 9 bits. Larger than real compression, and every decoder reads it.
QByteArray EncodePixels(const QImage& indexed) {
    constexpr int kClear = 256;
    constexpr int kEnd = 257;
    constexpr int kLiteralsPerClear = 250;
    QByteArray packed;
    quint32 bits = 0;
    int bitCount = 0;
    const auto putCode = [&](int code) {
        bits |= static_cast<quint32>(code) << bitCount;
        bitCount += 9;
        while (bitCount >= 8) {
            packed.append(static_cast<char>(bits & 0xFF));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    int sinceClear = kLiteralsPerClear;
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar* line = indexed.constScanLine(y);
        for (int x = 0; x < indexed.width(); ++x) {
            if (sinceClear == kLiteralsPerClear) {
                putCode(kClear);
                sinceClear = 0;
            }
            putCode(line[x]);
            ++sinceClear;
        }
    }
    putCode(kEnd);
    if (bitCount > 0) {
        packed.append(static_cast<char>(bits & 0xFF));
    }
    QByteArray blocks;
    blocks.append(char(8));  // minimum code size
    for (qsizetype at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        blocks.append(static_cast<char>(block.size()));
        blocks.append(block);
    }
    blocks.append(char(0));
    return blocks;
}

}  // namespace

QByteArray WriteAnimatedGif(const QList<QImage>& frames, int delayCentiseconds) {
    const QSize size = frames.isEmpty() ? QSize(1, 1) : frames.first().size();
    QByteArray out("GIF89a");
    Put16(out, size.width());
    Put16(out, size.height());
    out.append(char(0x00));  // no global colour table
    out.append(char(0x00));
    out.append(char(0x00));
    // Loop for ever.
    out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (const QImage& frame : frames) {
        const QImage indexed =
            frame.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);
        out.append("\x21\xF9\x04\x04", 4);  // graphic control: keep the frame
        Put16(out, delayCentiseconds);
        out.append(char(0x00));
        out.append(char(0x00));
        out.append(char(0x2C));
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, indexed.width());
        Put16(out, indexed.height());
        out.append(char(0x87));  // local colour table of 256 entries
        QList<QRgb> colours = indexed.colorTable();
        colours.resize(256);
        for (const QRgb colour : colours) {
            out.append(static_cast<char>(qRed(colour)));
            out.append(static_cast<char>(qGreen(colour)));
            out.append(static_cast<char>(qBlue(colour)));
        }
        out.append(EncodePixels(indexed));
    }
    out.append(char(0x3B));
    return out;
}

}  // namespace testsupport
