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
// Hex text (the failure text is followed by "class name - message").
inline constexpr const char* HexConversionError = "Ocorreu um erro durante a conversão para hexadecimal, a saber: ";
// Locked buffers (the %d is the system's error number).
inline constexpr const char* InvalidMemorySize = "Invalid memory size!";
inline constexpr const char* MemoryAddressAlreadyUsed = "Memory address already used!";
inline constexpr const char* AllocMemoryError = "A %d system error occured while attempting to alloc memory!";
inline constexpr const char* UnallocatedMemory = "Cannot access unallocated memory!";
inline constexpr const char* FreeMemoryError = "A %d system error occured while attempting to free memory!";
inline constexpr const char* MemoryAlreadyLocked = "Memory is already locked!";
inline constexpr const char* LockMemoryError = "A %d system error occured while attempting to lock memory!";
inline constexpr const char* MemoryNotLocked = "Memory is not locked yet!";
inline constexpr const char* UnlockMemoryError = "A %d system error occured while attempting to unlock memory!";
// Wiping.
inline constexpr const char* FlushError = "A %d Windows error occurred.";
// RSA medium.
inline constexpr const char* DllLoadFail = "Ocorreu um erro na carga de uma das DLLs da aplicação.";
inline constexpr const char* FunctionLoadFail = "Ocorreu um erro interno no acesso a uma das DLLs da aplicação.";
inline constexpr const char* MediaNotOpened = "A mídia do certificado eletrônico não foi aberta!";
inline constexpr const char* MediaOn = "Ocorreu um erro na conexão com a mídia do certificado eletrônico.";
inline constexpr const char* MediaOff = "Ocorreu um erro na desconexão com a mídia do certificado eletrônico.";
inline constexpr const char* RandomSeed = "Ocorreu um erro interno no módulo obsrsak.dll.";
inline constexpr const char* MediaUser = "É necessário definir um usuário para o certificado antes de gerá-lo!";
inline constexpr const char* MediaFormat = "Ocorreu um erro na formatação da mídia do certificado eletrônico.";
inline constexpr const char* MediaCreation = "Ocorreu um erro na criação da mídia do certificado eletrônico.";
inline constexpr const char* MediaAccess = "Ocorreu um erro no acesso à mídia do certificado eletrônico.";
inline constexpr const char* ChangeKey = "Ocorreu um erro interno ao trocar a senha de acesso ao certificado eletrônico.";
inline constexpr const char* PutCertificateInvalidArgument = "Argumento inválido para a função PutCertificate.";
inline constexpr const char* ReadIdentifier = "Ocorreu um erro interno ao ler as informações sobre o identificador do certificado eletrônico.";
inline constexpr const char* WrongPasswordOnReceive = "Senha incorreta, favor repetir o processo de recebimento.";
inline constexpr const char* UpdateIdentifier = "Ocorreu um erro interno ao atualizar o identificador do certificado eletrônico.";
inline constexpr const char* PutCertificateError = "Ocorreu um erro interno ao incorporar o certificado assinado à mídia.";
inline constexpr const char* SignError = "Ocorreu um erro ao assinar o buffer.";
// The notice that every generated key file carries.
inline constexpr const char* KeyNotice = "Atencao: este certificado eletrônico foi emitido pela Orvanta e tem seu uso regulado por contrato especifico.";
// Password dialog.
inline constexpr const char* PwdCaption = "Senha de Acesso";
inline constexpr const char* PwdOK = "&OK";
inline constexpr const char* PwdCancel = "&Cancelar";
inline constexpr const char* PwdHelp = "&Ajuda";
inline constexpr const char* PwdDefaultCertificateName = "gerado em primeiro lugar";
inline constexpr const char* PwdEditHint = "Digite aqui sua senha de acesso";
inline constexpr const char* PwdCurrentLabel = "Senha atual:";
inline constexpr const char* PwdNewLabel = "Nova Senha:";
inline constexpr const char* PwdConfirmLabel = "Confirmação:";
inline constexpr const char* PwdMinimumLength = "A senha deve conter pelo menos %d caracteres!";
inline constexpr const char* PwdAskMessage = "Por favor, informea senha de acesso ao arquivo onde o certificado eletrônico %s está armazenado. Utilize um mínimo de %d e um máximo de %d caracteres.";
inline constexpr const char* PwdNewMessage = "Por favor, crie uma senha de acesso provisória a este certificado eletrônico. Utilize um mínimo de %d e um máximo de %d caracteres.";
inline constexpr const char* PwdChangeMessage = "Por favor, crie uma nova senha de acesso ao arquivo onde o certificado eletrônico ficará permanentemente armazenado. Lembre-se que deve ser substancialmente diferente da senha atual.";
inline constexpr const char* PwdConfirmMismatch = "A confirmação e a nova senha devem ser idênticas!";

// ---- backup -----------------------------------------------------------------

// ---- main window, list views, entity actions --------------------------------

// ---- dialogs: message dialog, About box -------------------------------------

// ---- agreement and help -----------------------------------------------------

} // namespace Texts
