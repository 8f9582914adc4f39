// A simulated controller on loopback TCP (and, when asked, a pseudo-terminal)
// with a main dialog whose settings point at it and whose waits are short.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fake_view.hpp"
#include "sim/simulator.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#include "tool_test_util.hpp"

namespace tarvo::test {

// Waits that keep the tests fast; silence costs one receive time-out.
inline TransferTiming FastTiming() {
  TransferTiming t;
  t.block_delay_ms = t.block_delay_zv_server_ms = t.block_delay_zv_gprs_ms = 0;
  t.query_delay_ms = t.query_delay_zv_gprs_ms = 1;
  t.finish_delay_ms = 0;
  t.not_ready_delay_ms = 2;
  return t;
}

inline void ShortenLinkWaits(ConnectionManager& link) {
  link.tcp.timing.pause_before_connect_ms = 0;
  link.tcp.timing.pause_after_connect_ms = 0;
  link.tcp.timing.receive_timeout_ms = 300;
  link.serial.timing.read_timeout_ms = 300;
  link.serial.timing.event_wait_ms = 100;
  link.serial.timing.piece_pause_ms = 0;
  link.command_timing.missing_blocks_file_wait_ms = 1;
  link.command_timing.missing_blocks_firmware_wait_ms = 1;
}

// A file put on a simulated disk (dated 26-12-07 21:05), the bytes of one
// ("" when it is not there), and how often a command arrived.
inline void StoreSimFile(sim::Simulator& s, uint8_t disk, const std::string& name,
                         const std::string& type, const std::vector<uint8_t>& data) {
  sim::SimFile f;
  f.name = name;
  f.type = type;
  f.data = data;
  f.date = sim::FileDate{26, 12, 7, 21, 5, 0};
  s.WithModel([&](sim::ControllerModel& m) { return m.disk(disk).Store(f); });
}
inline std::vector<uint8_t> SimFileBytes(sim::Simulator& s, uint8_t disk,
                                         const std::string& joined) {
  return s.WithModel([&](sim::ControllerModel& m) {
    for (const sim::SimFile& f : m.disk(disk).files())
      if (f.Joined() == joined) return f.data;
    return std::vector<uint8_t>();
  });
}
inline uint32_t SimCount(sim::Simulator& s, uint8_t command) {
  return s.WithModel([&](sim::ControllerModel& m) { return m.RequestCount(command); });
}

class SimFixture : public ::testing::Test {
 protected:
  // Starts the simulator and a dialog on the network medium (or on the
  // serial medium through the simulator's pseudo-terminal).
  void StartWith(bool serial, const std::string& extra_comm = std::string()) {
    sim::SimulatorOptions o;
    o.tcp_port = 0;
    o.serial = serial;
    sim_ = std::make_unique<sim::Simulator>(o);
    ASSERT_EQ(sim_->Start(), 1) << sim_->error();
    std::string ini = "[COMM]\nCommType=" + std::string(serial ? "1" : "2") +
                      "\nIP Addr=2130706433\nIP Port=" + std::to_string(sim_->tcp_port()) + "\n" +
                      extra_comm + "[PORTS]\nCOM1=" + sim_->serial_path() + "\n";
    ASSERT_TRUE(WriteTextFile(dir.Path("tool.ini"), ini));
    app.SetSettingsPath(dir.Path("tool.ini"));
    app.timing = FastTiming();
    ShortenLinkWaits(app.link());
    dlg = std::make_unique<CToolDlg>(view, app);
    dlg->OnInitDialog();
  }
  void SetUp() override { StartWith(false); }
  void TearDown() override {
    if (dlg) dlg->WaitForTransfer();
  }

  sim::Simulator& simulator() { return *sim_; }
  uint32_t Count(uint8_t command) { return SimCount(*sim_, command); }
  void StoreFile(uint8_t disk, const std::string& name, const std::string& type,
                 const std::vector<uint8_t>& data) {
    StoreSimFile(*sim_, disk, name, type, data);
  }
  std::vector<uint8_t> StoredFile(uint8_t disk, const std::string& joined) {
    return SimFileBytes(*sim_, disk, joined);
  }
  bool HasFile(uint8_t disk, const std::string& joined) {
    return sim_->WithModel([&](sim::ControllerModel& m) {
      for (const sim::SimFile& f : m.disk(disk).files())
        if (f.Joined() == joined) return true;
      return false;
    });
  }

  TempDir dir;
  CToolApp app;
  FakeView view;
  std::unique_ptr<CToolDlg> dlg;

 private:
  std::unique_ptr<sim::Simulator> sim_;
};

}  // namespace tarvo::test
