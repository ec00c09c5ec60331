#include "app/KestrelApp.h"

int main(int argc, char** argv) {
  kestrel::app::CKestrelApp app;
  return app.Run(argc, argv);
}
