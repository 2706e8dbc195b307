// The version of what the tag and length readers make of a file. The tag
// index trusts a remembered result only when it was read by this version:
// raise it with every change to a reader's output, so that an upgrade reads
// again what it must.
#pragma once

constexpr int TagReaderVersion = 4;
