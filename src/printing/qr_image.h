// The payment code drawn as a picture.
//
// QrCodePng encodes bytes as a QR symbol (byte mode, error correction M, the
// smallest version that holds them) and draws it black on white, with the
// four-module quiet zone the symbol needs, as a PNG image.  Any thread.
#pragma once

#include <QByteArray>
#include <string>

namespace printing {

// The PNG of the symbol for `bytes`, `moduleSize` pixels a module; empty when
// the bytes do not fit any QR version.
QByteArray QrCodePng(const std::string& bytes, int moduleSize = 8);

}  // namespace printing
