// Every text the tool shows, in one place, so front ends and tests agree.
#pragma once

namespace tarvo {

inline constexpr const char* kAppTitle = "Tarvo Tool";
inline constexpr const char* kVersionTitle = "Version information";

inline constexpr const char* kTextCommFailed = "Communication failed!";
// Start-up of the socket library (Windows): it failed, or it is older than 2.2.
inline constexpr const char* kTextSocketStartFailed = "Failed to startup winsocket!";
inline constexpr const char* kTextSocketTooOld = "Winsocket version too low!";
inline constexpr const char* kTextSuccessful = "Successful!";
inline constexpr const char* kTextFailedBang = "Failed!";
inline constexpr const char* kTextFailed = "Failed";
// Shown instead of an empty list, a size or versions read from nothing.
inline constexpr const char* kTextNoAnswer = "No answer from the controller.";
inline constexpr const char* kTextNoFileSelected = "No file is selected!";
inline constexpr const char* kTextSureFormatUser = "Sure to format user disk?";
inline constexpr const char* kTextSureFormatSystem = "Sure to format system disk?";
inline constexpr const char* kTextLowFormatNg = "Low Format NG!";
inline constexpr const char* kTextLowFormatFailed = "Low Format failed!";
inline constexpr const char* kTextFailedOpenFile = "Failed to open file!";
inline constexpr const char* kTextFailedUpdateFile = "Failed to update file!";
inline constexpr const char* kTextFileOpenFailed = "File open failed!";
inline constexpr const char* kTextFileCreateFailed = "File create failed!";
inline constexpr const char* kTextCheckSumError = "Check sum error!";
inline constexpr const char* kTextRestartController = "Please restart the controller!";
inline constexpr const char* kTextFileMaskIncorrect = "File mask incorrect!";
inline constexpr const char* kTextBootFormatErr = "file format err!";
inline constexpr const char* kTextDoNotPowerDown = "Do not power down and try again!!!";
inline constexpr const char* kTextPasswordIncorrect = "Password incorrect!";
inline constexpr const char* kTextNothingSet = "Nothing will be set!";
inline constexpr const char* kTextNothingRead = "Nothing will be read!";
inline constexpr const char* kTextConfigSuccessful = "Successful";
inline constexpr const char* kTextFileTooLarge =
    "The file is larger than 16 MiB (16777216 bytes) and cannot be transferred!";
inline constexpr const char* kTextRemoteTooLarge =
    "The controller reports a file larger than 16 MiB (16777216 bytes); it was not read!";
inline constexpr const char* kTextBootTooLarge =
    "The boot image is too large for the boot buffer (at most 999488 bytes)!";
inline constexpr const char* kTextMaxChars = "Please enter no more than %d characters.";
inline constexpr const char* kTextPortRange = "Please enter an integer between 0 and 65535.";
inline constexpr const char* kTextEnterDeviceId = "Please enter a Device ID.";
inline constexpr const char* kTextStopAndExit = "A transfer is running. Stop it and exit?";
inline constexpr const char* kTextTransferStopped =
    "Transfer stopped! The file on the controller is incomplete.";
// The About box and the menu item that opens it.
inline constexpr const char* kAboutMenuItem = "&About Tarvo-E Tool...";
inline constexpr const char* kAboutTitle = "About Tarvo-E Tool";
inline constexpr const char* kAboutText = "Tarvo-E Tool V1.0";
inline constexpr const char* kFilterAll = "*.*|*.*||";
inline constexpr const char* kFilterBin = "*.bin|*.bin||";

}  // namespace tarvo
