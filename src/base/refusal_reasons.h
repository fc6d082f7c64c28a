#pragma once

// Why a line of a listing or of an earlier summary is refused, as the
// message names it after the line's number. Both readers take their
// reasons from here, so that the same fault reads the same in both.
namespace quern::refusal {

inline constexpr const char* kMalformed = "Format fehlerhaft";
inline constexpr const char* kListedTwice = "Verzeichnis doppelt aufgefuehrt";

// Listings only.
inline constexpr const char* kUnknownType = "unbekannter Typbuchstabe";
inline constexpr const char* kOutsideRoot = "Pfad ausserhalb der Wurzel";
inline constexpr const char* kDotName = "Pfad enthaelt . oder ..";
inline constexpr const char* kRootNotDirectory = "Wurzel ist kein Verzeichnis";
inline constexpr const char* kUnterminated = "Eintrag nicht abgeschlossen";
inline constexpr const char* kNoOwner = "Eigentuemer fehlt";

// Summaries only.
inline constexpr const char* kNotSummary = "keine Zusammenfassung";
inline constexpr const char* kUnknownVersion = "unbekannte Formatversion";
inline constexpr const char* kEndMissing = "Schlusszeile fehlt";
inline constexpr const char* kEndWrong = "Schlusszeile falsch";
inline constexpr const char* kNoParent = "uebergeordnetes Verzeichnis fehlt";
inline constexpr const char* kNoRoot = "Wurzel fehlt";

}  // namespace quern::refusal
