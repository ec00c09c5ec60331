#pragma once
#include <memory>
#include <string>

namespace fw {

namespace backend {
class FontPeer;
}

class CFont {
 public:
  CFont();
  ~CFont();
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  // A font of `tenthsOfPoint` / 10 points for the screen, every other
  // attribute at its default. Faces this platform lacks are substituted.
  bool CreatePointFont(int tenthsOfPoint, const std::string& face);
  void DeleteObject();

  const backend::FontPeer* peer() const { return peer_.get(); }

 private:
  std::unique_ptr<backend::FontPeer> peer_;
};

}  // namespace fw
