#pragma once
// The five 18 x 18 pictures of the site map tree, one per NodeKind, drawn
// on an opaque white ground.
#include "SiteMapFormat.h"

#include <QImage>

namespace vantora {

constexpr int NodeImageSize = 18;

QImage NodeImage(NodeKind kind);

} // namespace vantora
