#include "tool/tool_app.hpp"

#include "platform/dynlib.hpp"
#include "platform/process.hpp"
#include "tool/firmware_image.hpp"
#include "tool/transfer_job.hpp"

namespace tarvo {

CToolApp::CToolApp()
    : timing(ProductionTiming()),
      transfer_buffer_(kTransferBufferSize),
      boot_buffer_(kBootBufferSize, 0xFF) {
  link_.gateway = &gateway_;
}

void CToolApp::InitInstance(const std::string& settings_override) {
  app_dir_ = platform::ExecutableDir();
  platform::SetCurrentDir(app_dir_);
  SetSettingsPath(settings_override.empty() ? DefaultSettingsPath() : settings_override);
  LoadGateway(app_dir_ + platform::SharedLibraryFileName("dcc"));
}

void CToolApp::SetSettingsPath(const std::string& path) {
  settings_path_ = path;
  ports_ = LoadPortMap(path);
}

int CToolApp::LoadGateway(const std::string& path) {
  return gateway_.LoadGateway(path);
}

}  // namespace tarvo
