#include "app/win32/install_location.h"

wchar_t ChooseInstallDrive()
{
    return 0; // not built yet: the program stays where it was started
}
