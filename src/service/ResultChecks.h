#pragma once

class movieFile;
class openSubtitleItem;

// The user's checks on a video's results: at most one result per language is
// checked for download. Call under the owner's state lock.
namespace ResultChecks {

// Toggles the result's check; checking it unchecks the video's other results
// in its language. A result the video does not list changes nothing.
void toggle(const movieFile &video, openSubtitleItem &result);
// Unchecks every result of the video.
void uncheckAll(const movieFile &video);

} // namespace ResultChecks
