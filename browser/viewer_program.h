#pragma once

// What the browser relies on the outside viewer program, Tremora, to offer.
namespace orvane::tremora {

inline constexpr char kExecutableName[] = "trmvw32.exe";
inline constexpr char kDdeService[] = "trmvw32";
inline constexpr char kDdeTopic[] = "System";
// Any top-level window whose title holds this is a running viewer.
inline constexpr char kWindowTitleMark[] = "Tremora - ";
inline constexpr char kRegistryKey[] = "SOFTWARE\\Orvane Network\\Tremora";
inline constexpr char kLocationValue[] = "Location";

}  // namespace orvane::tremora
