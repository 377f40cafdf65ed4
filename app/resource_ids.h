// Identifiers of the resources embedded in the executable.
#pragma once

#define IDI_APP_ICON 1
#define IDR_LOGO_JPEG 101
