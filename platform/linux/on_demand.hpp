// The PDF, picture, recording and recognition services with their libraries loaded at first use.
// poppler, FFmpeg, libvips and tesseract bring about 175 shared libraries whose loading and
// relocation cost a tenth of a second of every start, while most runs of plenk-media use none of
// them. Each lives in a module beside the executable and is opened only when a verb first calls it.
#pragma once

#include "platform/images.hpp"
#include "platform/media.hpp"
#include "platform/pdf.hpp"
#include "platform/picker.hpp"
#include "platform/recognition.hpp"

#include <memory>
#include <string>

namespace plenk {

// The modules' file names and the function each exports; it returns a new service.
inline constexpr const char* PDF_MODULE = "plenk-media-pdf.so";
inline constexpr const char* IMAGES_MODULE = "plenk-media-images.so";
inline constexpr const char* RECORDINGS_MODULE = "plenk-media-recordings.so";
inline constexpr const char* RECOGNITION_MODULE = "plenk-media-recognition.so";
inline constexpr const char* PICKER_MODULE = "plenk-media-picker.so";
inline constexpr const char* PDF_ENTRY = "plenkMakePdf";
inline constexpr const char* IMAGES_ENTRY = "plenkMakeImages";
inline constexpr const char* RECORDINGS_ENTRY = "plenkMakeRecordings";
inline constexpr const char* RECOGNITION_ENTRY = "plenkMakeRecogniser";
// Given the picture and recording services that make its thumbnails.
inline constexpr const char* PICKER_ENTRY = "plenkMakePicker";

// The path of a file in the folder of the running executable.
std::string besideProgram(const std::string& file);

// Each opens the module at modulePath on its first call (once, also under concurrent calls).
// When the module cannot be opened, every call throws std::runtime_error: the run fails as a
// whole (E_WORK) instead of blaming the user's file.
std::unique_ptr<Pdf> pdfOnDemand(std::string modulePath);
std::unique_ptr<Images> imagesOnDemand(std::string modulePath);
std::unique_ptr<Recordings> recordingsOnDemand(std::string modulePath);
std::unique_ptr<Recogniser> recogniserOnDemand(std::string modulePath);
// The picker window: GTK is loaded when the picker is first shown. images and recordings must
// outlive it.
std::unique_ptr<Picker> pickerOnDemand(std::string modulePath, Images& images,
                                       Recordings& recordings);

} // namespace plenk
