// The folder every resource file is read from, chosen once at start-up. Paths inside
// it are joined with a slash, so messages name the file as the program opened it.
#pragma once

#include <string>

// "data" (in the working directory) until chooseDataFolder picks another.
extern std::string dataFolder;

// Where the installed data folder lies, relative to the executable's own folder.
extern const char* const installedDataFromBin;

// `relative` inside the data folder.
std::string dataPath(const char* relative);

// Sets dataFolder: `given` (--data) when not null, which must be a folder that holds
// something, else fatal; else "data" when the working directory has that folder; else
// the installed data folder, found relative to the running executable (bin/../share/
// vornekka/data as installed); else "data", so the first lookup reports its missing
// file as it always did.
void chooseDataFolder(const char* given);
