// tarvo-tool: the maintenance tool's desktop dialog on the shared core.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>
#include <cstdio>

#include "common/version.hpp"
#include "tool/gui/app_icon.hpp"
#include "tool/gui/modal_runner.hpp"
#include "tool/gui/screenshot_tour.hpp"
#include "tool/gui/tool_window.hpp"
#include "tool/tool_app.hpp"
#if TARVO_HAVE_RELAY_BINDING
#include "tool/link/relay_binding.hpp"
#endif

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  QApplication::setApplicationName("tarvo-tool");
  QApplication::setApplicationVersion(tarvo::kSuiteVersion);
  QApplication::setWindowIcon(tarvo::gui::AppIcon());

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "The Tarvo maintenance tool: list, read, write, delete and format files on a controller's\n"
      "two disks, upgrade its firmware, check its versions, reset it and set its screen\n"
      "configuration, over a serial line, the network, a GPRS gateway or the relay server.\n"
      "The communication settings are kept in tarvo-tool.ini beside the program (or in\n"
      "~/.config/tarvo/ when that folder is not writable).");
  parser.addHelpOption();
  parser.addVersionOption();
  QCommandLineOption settings("settings", "Keep the settings in FILE.", "FILE");
  QCommandLineOption tour("tour", "Walk through the window and save screenshots in FOLDER.",
                          "FOLDER");
  QCommandLineOption tour_file("tour-upload", "The file the tour uploads.", "FILE");
  QCommandLineOption save_icon("save-icon", "Save the program's icon as a PNG file and exit.",
                               "FILE");
  tour.setFlags(QCommandLineOption::HiddenFromHelp);
  tour_file.setFlags(QCommandLineOption::HiddenFromHelp);
  save_icon.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOptions({settings, tour, tour_file, save_icon});
  parser.process(qt);
  if (parser.isSet(save_icon))
    return tarvo::gui::DrawAppIcon(128).save(parser.value(save_icon), "PNG") ? 0 : 2;

  // Paths on the command line are taken from the folder the user is in;
  // the application then moves to its own folder.
  auto absolute = [](const QString& p) { return p.isEmpty() ? p : QDir().absoluteFilePath(p); };
  QString settings_path = absolute(parser.value(settings));
  QString tour_folder = absolute(parser.value(tour));
  QString upload = absolute(parser.value(tour_file));

  tarvo::CToolApp app;
  app.InitInstance(settings_path.toStdString());
#if TARVO_HAVE_RELAY_BINDING
  app.link().relay = tarvo::ZvServerRelayApi();
#endif
  tarvo::gui::ModalRunner modal;
  tarvo::gui::TourRunner tour_runner(tour_folder);
  bool touring = !tour_folder.isEmpty();
  tarvo::gui::ToolWindow window(app, touring ? tour_runner : modal);
  window.show();
  if (touring) {
    QTimer::singleShot(0, &window, [&] { tarvo::gui::RunTour(window, tour_runner, upload); });
    int status = qt.exec();
    return status != 0 ? status : tour_runner.shots > 0 ? 0 : 1;
  }
  return qt.exec();
}
