#pragma once

// The fixed drive other than C: with the most bytes available to the user,
// or 0 when there is none.
wchar_t ChooseInstallDrive();
