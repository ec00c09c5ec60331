#include "app/KestrelApp.h"

int main(int argc, char** argv) {
  kestrel::CKestrelApp app;
  return app.Run(argc, argv);
}
