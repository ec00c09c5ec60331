#pragma once
#include <QFont>

#include "framework/backend/Backend.h"

namespace fw::qt {

class QtFontPeer : public backend::FontPeer {
 public:
  explicit QtFontPeer(QFont font) : font_(std::move(font)) {}
  const QFont& font() const { return font_; }

 private:
  QFont font_;
};

// A font of `tenthsOfPoint` / 10 points of the named face or its stand-in.
QFont PointFont(int tenthsOfPoint, const std::string& face);

}  // namespace fw::qt
