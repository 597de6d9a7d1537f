// The classes the server makes creatable, in the order their class objects
// are built.
#pragma once
#include <span>

#include "server/ClassObject.h"

namespace korvane {

std::span<const ClassDescription> serverClasses();

}  // namespace korvane
