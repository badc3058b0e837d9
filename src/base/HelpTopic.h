#pragma once

// Help topics of the dialogs.
enum HelpTopic : int {
    kHelpExpiryNotification = 1012,
    kHelpUnlock = 1013,
    kHelpCardManagerLocked = 1014,
    kHelpPin = 1015,
};

// Opens `topicId` of the help file named by the installation's "HelpPath";
// does nothing when no help file is configured or no viewer can be loaded.
void DoDisplayTopic(int topicId);
// The same, with the help path logged under `logName` ("CUnlockFailedDlg::OnContextualHelp").
void DoDisplayTopic(int topicId, const wchar_t* logName);
