#pragma once

// The program's web addresses, kept in one place because the main window and
// the about dialog both open them.
inline const char ReelwayWebsite[] = "https://reelway.korvent.com";
inline const char ContactWebsite[] = "https://reelway.korvent.com/contact";
inline const char MakerWebsite[] = "https://www.korvent.com";
