// faxsheet --fill: plays the person in front of the sheet, for the demo and its test.
#pragma once

#include <string>

// Makes the next sheet fill its send list as a person would, through the sheet's controls: the
// address book's first two contacts and first group are added, one receiver is typed in and the
// group's members are shown in the send list (a right click on the group). With
// a snapshot folder, the filled sheet's pages are written there as sheet-page<N>.png. Then OK is
// pressed, so the sheet saves.
void SheetFillInstall(const std::string& snapshotFolder);
