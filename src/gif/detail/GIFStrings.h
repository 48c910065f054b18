#pragma once
// The GIF library's message texts (resource strings 65200-65247). Internal:
// callers see them only as exception messages and warnings.

namespace gifstr {
inline constexpr const char *InvalidSignature = "Invalid GIF signature";
inline constexpr const char *UnknownExtensionType = "Unknown extension type";
inline constexpr const char *InvalidExtensionIntroducer = "Invalid extension introducer";
inline constexpr const char *ExtensionMismatch = "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char *UnsupportedAppBlockSize = "Unsupported Application Extension block size";
inline constexpr const char *InvalidData = "Invalid GIF data";
inline constexpr const char *PrematureEnd = "Premature end of data";
inline constexpr const char *UnknownBlockType = "Unknown GIF block type";
inline constexpr const char *ExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char *InvalidTrailer = "Invalid Image trailer";
inline constexpr const char *InvalidColorIndex = "Invalid color index";
inline constexpr const char *InvalidPixelCoordinates = "Invalid pixel coordinates";
inline constexpr const char *ImageEmpty = "Image is empty";
inline constexpr const char *ColorTableEmpty = "Color table is empty";
inline constexpr const char *ColorTableOverflow = "Color table overflow";
inline constexpr const char *WidthTooSmall = "Image width too small for contained frames";
inline constexpr const char *HeightTooSmall = "Image height too small for contained frames";
inline constexpr const char *BitBufferUnderrun = "Decoder bit buffer under-run";
inline constexpr const char *CircularTableEntry = "Circular decoder table entry";
inline constexpr const char *InvalidImageDimensions = "Invalid image dimensions";
inline constexpr const char *UnsupportedVersion = "Unsupported GIF version";
inline constexpr const char *ColorNotInTable = "Color not in color table";
inline constexpr const char *InvalidStreamOperation = "Invalid stream operation";
inline constexpr const char *InvalidReductionMethod = "Invalid reduction method";
inline constexpr const char *UnsupportedPixelFormat = "Unsupported PixelFormat";
inline constexpr const char *DIBAllocFailed = "Failed to allocate memory for GIF DIB";
inline constexpr const char *UnsupportedObject = "Object type not supported for operation";
inline constexpr const char *ClipboardFailed = "Failed to store GIF on clipboard";
inline constexpr const char *Loading = "Loading...";
inline constexpr const char *Saving = "Saving...";
inline constexpr const char *Optimizing = "Optimizing...";
inline constexpr const char *Converting = "Converting...";
inline constexpr const char *Copying = "Copying...";
inline constexpr const char *Rendering = "Rendering...";
inline constexpr const char *OutOfResources = "Out of system resources";
} // namespace gifstr
