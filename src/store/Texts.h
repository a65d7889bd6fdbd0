#pragma once
// The program's texts: every user-visible string, word for word, in one place.
// UTF-8; widgets take them through QString::fromUtf8. Core code may use them
// too (this header depends on nothing).
//
// Keep one section per subsystem; append, do not reorder.

namespace Texts {

// ---- application shell -------------------------------------------------------
inline constexpr const char* AppTitle = "Cliente de Certificação Quorvex";
inline constexpr const char* ServiceName = "Vinculum";

// ---- store: request file, registry, identifiers, request form ---------------

// ---- crypto: medium, locked buffers, hex, wiping, password dialog -----------

// ---- backup -----------------------------------------------------------------

// ---- main window, list views, entity actions --------------------------------

// ---- dialogs: message dialog, About box -------------------------------------

// ---- agreement and help -----------------------------------------------------

} // namespace Texts
