#pragma once

#include "platform/Text.h"

namespace qingtong {

// The promotional picture: a remote text document names a picture between the marks
// "二维码" and "码维二"; the picture is https://HOST/item/NAME.jpg. Both fetches block;
// the window runs them on a worker thread.

// The picture name in a document body (UTF-8 bytes), "" when there is none.
Text promoPictureName(const Text& documentBody);

// The picture's address. The name is percent-encoded (its UTF-8 form, everything but
// letters, digits and -._~), so a remote name can never leave the /item/ folder, add a
// query or reach another host.
Text promoPictureUrl(const Text& pictureHost, const Text& name);

// Fetches the document at documentUrl and returns the picture name in it ("" on failure).
Text fetchPromoPictureName(const Text& documentUrl);

// Fetches a URL with a plain GET; the body, empty on failure.
Bytes fetchBody(const Text& url);

} // namespace qingtong
