#pragma once

class Desk;
class QtWindowOpener;

// The windows the desk's logic opens, each built for the desk's objects and
// for the call it works for; the caller feed's number reaches the caller-ID
// window's label, building that window hidden if need be.
namespace DeskWindows {

void install(QtWindowOpener& opener, Desk& desk);

} // namespace DeskWindows
