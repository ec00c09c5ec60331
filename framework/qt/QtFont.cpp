#include "framework/qt/QtFont.h"

#include "framework/FontFaces.h"

namespace fw::qt {

QFont PointFont(int tenthsOfPoint, const std::string& face) {
  QFont font(QString::fromStdString(SubstituteFontFace(face)));
  font.setPointSizeF(tenthsOfPoint / 10.0);
  return font;
}

}  // namespace fw::qt

namespace fw::backend {

std::unique_ptr<FontPeer> CreatePointFont(int tenthsOfPoint, const std::string& face) {
  return std::make_unique<qt::QtFontPeer>(qt::PointFont(tenthsOfPoint, face));
}

}  // namespace fw::backend
