// texts.h - what the system says to its user, in one place: the product's
// name, version and notice, an unnamed resource's list line, and the five
// failure messages that the viewer shows and mhkbmp prints. Only #defines,
// so that the resource script can read it too; CMake takes the version and
// the name for the manifest.
#pragma once

#define PRODUCT_NAME "Velder Image Viewer"
#define PRODUCT_COPYRIGHT "Copyright (C) Velder Software. All rights reserved."

// The version's parts, and the same as text: "1.0.0".
#define PRODUCT_VERSION_MAJOR 1
#define PRODUCT_VERSION_MINOR 0
#define PRODUCT_VERSION_PATCH 0
#define TEXTS_STRING_(x) #x
#define TEXTS_STRING(x) TEXTS_STRING_(x)
#define PRODUCT_VERSION                                                                  \
    TEXTS_STRING(PRODUCT_VERSION_MAJOR) "." TEXTS_STRING(PRODUCT_VERSION_MINOR) "." \
        TEXTS_STRING(PRODUCT_VERSION_PATCH)

// The list line of a resource without a name: its ID (0 to 65535).
#define UNNAMED_RESOURCE_TEXT "[%d]"

#define MESSAGE_CANNOT_OPEN "The file cannot be opened."
#define MESSAGE_NOT_ARCHIVE "This file is not a valid Velder Mohawk archive."
#define MESSAGE_NO_IMAGES "This archive does not contain any images."
#define MESSAGE_CANNOT_READ "The image cannot be read."
#define MESSAGE_CANNOT_WRITE "The file cannot be written."
