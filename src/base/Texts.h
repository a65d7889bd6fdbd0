#pragma once
// The program's texts: every user-visible string, word for word, in one place.
// UTF-8; widgets take them through QString::fromUtf8. Core code may use them
// too (this header depends on nothing).
//
// Keep one section per subsystem; append, do not reorder.

// One text per line, as the user reads it: kept out of the formatter.
// clang-format off
namespace Texts {

// ---- application shell -------------------------------------------------------
inline constexpr const char* AppTitle = "Cliente de Certificação Quorvex";
inline constexpr const char* ServiceName = "Vinculum";

// ---- store: request file, registry, identifiers, request form ---------------
// The registry gave up on a storage file that stayed unreadable: lead-in, the
// file name, the middle part, the number of attempts, the closing part, then
// the last failure's message.
inline constexpr const char* StorageOpenGaveUp1 = "Não foi possível abrir o arquivo de dados ";
inline constexpr const char* StorageOpenGaveUp2 = " após ";
inline constexpr const char* StorageOpenGaveUp3 = " tentativas: ";

// Request form (entity registration data).
inline constexpr const char* ReqCaptionNew = "Cadastrar Nova Entidade";
inline constexpr const char* ReqCaptionRequest = "Requisição";
inline constexpr const char* ReqExplanation =
    "Preencha agora as informações cadastrais a serem prestadas à Autoridade Certificadora. "
    "Assegure-se do preenchimento correto de todos os itens, pois eles serão eletronicamente "
    "assinados por você.";
inline constexpr const char* ReqOK = "&OK";
inline constexpr const char* ReqCancel = "&Cancelar";
inline constexpr const char* ReqHelp = "&Ajuda";
inline constexpr const char* ReqTabId = "Identificação";
inline constexpr const char* ReqTabLocale = "Endereço";
inline constexpr const char* ReqTabResp = "Responsáveis";
inline constexpr const char* ReqLabelProfiles = "Este certificado destina-se a uma:";
inline constexpr const char* ReqLabelId = "Inscrição junto à Receita Federal:";
inline constexpr const char* ReqLabelName = "Razão Social:";
inline constexpr const char* ReqLabelPhone = "Telefone para contato:";
inline constexpr const char* ReqLabelAddress = "Endereço:";
inline constexpr const char* ReqLabelLocale = "Bairro:";
inline constexpr const char* ReqLabelCity = "Cidade:";
inline constexpr const char* ReqLabelZip = "CEP:";
inline constexpr const char* ReqLabelState = "Unidade da Federação:";
inline constexpr const char* ReqLabelMail = "Endereço de e-mail:";
inline constexpr const char* ReqLabelResp = "Nome do Responsável";
inline constexpr const char* ReqLabelCpfResp = "CPF do Responsável";
inline constexpr const char* ReqAddResp = "&Adicionar";
inline constexpr const char* ReqRemoveResp = "&Remover";
inline constexpr const char* ReqColumnNumber = "Nº";
inline constexpr const char* ReqColumnName = "Nome";
inline constexpr const char* ReqColumnCpf = "CPF";
inline constexpr const char* ReqProfileCompany = "Empresa usuária";
inline constexpr const char* ReqTypeCNPJ = "CNPJ";
inline constexpr const char* ReqTypeCEI = "CEI";
inline constexpr const char* ReqRespExists = "Responsável já cadastrado.";
inline constexpr const char* ReqSelectResp = "Selecione um responsável.";
inline constexpr const char* ReqAddressMissing =
    "Todos os campos devem ser preenchidos. Clique na guia Endereço para prosseguir no "
    "preenchimento da requisicao.";
inline constexpr const char* ReqIdMissing =
    "Todos os campos, exceto o e-mail e o bairro, são de preenchimento obrigatório!";
inline constexpr const char* ReqNoResp = "Não existem responsáveis cadastrados.";
// First %s: the identifier as typed; second %s: "CNPJ" or "CEI".
inline constexpr const char* ReqIdInvalid =
    "O número %s informado para a inscrição não parece ser um %s válido. Deseja corrigi-lo?";
inline constexpr const char* ReqIdTaken = "Já existe uma entidade cadastrada com esta inscrição";
// The note beside a filtered field: what its key filter changed or dropped,
// and the length against the limit (%d typed, %d the limit).
inline constexpr const char* ReqNoteChanged = "trocado: %s";
inline constexpr const char* ReqNoteDropped = "removido: %s";
inline constexpr const char* ReqNoteSpace = "espaço";
inline constexpr const char* ReqNoteLength = "%d de máx. %d";
inline constexpr const char* ReqNoteFull = "limite atingido";
// %s: the field's label without its colon.
inline constexpr const char* AccFieldNote = "Aviso do campo %s";
// A responsible person who cannot join the list; %s: the CPF.
inline constexpr const char* ReqRespNoName = "Informe o nome do responsável.";
inline constexpr const char* ReqRespNoCpf = "Informe o CPF do responsável.";
inline constexpr const char* ReqRespBadCpf = "O CPF %s não é válido. Confira os dígitos.";
// OK with a person typed but not added who cannot be added: the name, the
// CPF, then why (one of the messages above, or ReqRespExists).
inline constexpr const char* ReqRespPending = "O responsável digitado não foi adicionado à lista.\nNome: %s\nCPF: %s\n%s\nDeseja continuar sem ele?";

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
inline constexpr const char* RandomSeed = "Ocorreu um erro interno no módulo libquorvexseed.so.";
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
inline constexpr const char* HashError = "Ocorreu um erro ao calcular o resumo criptográfico dos dados.";
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
inline constexpr const char* BkCaption = "Cópia de Segurança";
inline constexpr const char* BkTabCopy = "Copiar";
inline constexpr const char* BkTabRestore = "Restaurar";
inline constexpr const char* BkNameLabel = "Nome da Cópia:";
inline constexpr const char* BkNameHint = "Name of the backup. Needed only for the Backup.";
inline constexpr const char* BkPathLabel = "Caminho:";
inline constexpr const char* BkPathHint = "Drive path of the storage unit.";
inline constexpr const char* BkBrowse = "...";
inline constexpr const char* BkCommentLabel = "Comentário:";
inline constexpr const char* BkCommentCopy = "Informe o caminho de destino para a cópia de segurança.";
inline constexpr const char* BkCommentRestore = "Informe o caminho de origem da cópia de segurança.";
inline constexpr const char* BkOK = "OK";
inline constexpr const char* BkCancel = "Cancelar";
inline constexpr const char* BkHelp = "Ajuda";
inline constexpr const char* BkYes = "Sim";
inline constexpr const char* BkNo = "Não";
inline constexpr const char* BkFilter = "BKP files (*.bkp)|*.BKP";
// The archive's own question for the next volume of a spanned backup.
inline constexpr const char* BkInsertDisk = "Please insert disk %s and click OK to continue.";
inline constexpr const char* BkOverwriteQuestion = "Arquivo já existe. Deseja sobrescrever ?";
inline constexpr const char* BkOverwriteTitle = "AVISO";
inline constexpr const char* BkBackupDone = "Back Up realizado com sucesso !";
inline constexpr const char* BkBackupFailed = "Erro ao gravar arquivo em disco !";
inline constexpr const char* BkRestoreDone = "Back Up restaurado com sucesso !";
inline constexpr const char* BkRestoreFailed = "ERRO na restauração de seu BackUp !";
inline constexpr const char* BkRestart = "O cliente de certificação será reiniciado para que a restauração dos dados surta efeito. \r\nCaso o aplicativo não reinicie automaticamente, o faça manualmente.";

// ---- main window, list views, entity actions --------------------------------
inline constexpr const char* MenuFile = "&Arquivo";
inline constexpr const char* MenuRequest = "&Requisição";
inline constexpr const char* MenuHelp = "&?";
inline constexpr const char* ActFileNew = "&Novo...";
inline constexpr const char* ActFileRemove = "&Remover";
inline constexpr const char* ActFileRename = "Reno&mear";
inline constexpr const char* ActFileDisk = "Criar &Disquete";
inline constexpr const char* ActFileBackup = "Cópia de Segurança";
inline constexpr const char* ActFileImport = "&Importar...";
inline constexpr const char* ActFileExport = "&Exportar...";
inline constexpr const char* ActFileDeal = "Con&vênio";
inline constexpr const char* ActFileExit = "&Sair";
inline constexpr const char* ActRequestAdd = "Nova &Entidade...";
inline constexpr const char* ActRequestFill = "&Preencher...";
inline constexpr const char* ActRequestRemove = "Remover Enti&dade...";
inline constexpr const char* ActRequestSend = "&Enviar";
inline constexpr const char* ActRequestReceive = "&Receber";
inline constexpr const char* ActHelpTopics = "&Tópicos da Ajuda...";
inline constexpr const char* ActHelpHow = "&Como fazer para...";
inline constexpr const char* ActHelpAbout = "&Sobre...";
inline constexpr const char* SelectEntity = "Selecione uma Entidade";
inline constexpr const char* EntitySearchHint = "Localizar (nome, CNPJ ou CEI)";
// Shown in the field while it is empty, naming the key that reaches it (the
// longer hint above is its tooltip).
inline constexpr const char* EntitySearchKeyHint = "Localizar (Ctrl+F)";

// ---- what a screen reader says of controls that no visible label names ------
inline constexpr const char* AccEntitySearch = "Localizar entidade";
inline constexpr const char* AccEntitySearchDescription =
    "Digite parte do nome ou do CNPJ/CEI: a lista de entidades mostra só as encontradas. Enter ativa a entidade encontrada.";
inline constexpr const char* AccEntitySearchClear = "Limpar o campo Localizar";
inline constexpr const char* AccTip = "Sua próxima tarefa";
inline constexpr const char* AccTipDescription = "O próximo passo para obter o certificado eletrônico, com o link que o executa.";
inline constexpr const char* AccCertificates = "Certificados da entidade ativa";
inline constexpr const char* AccTypeId = "Tipo de inscrição";
inline constexpr const char* AccRespList = "Responsáveis cadastrados";
inline constexpr const char* AccRequestPages = "Páginas da requisição";
inline constexpr const char* AccAgreementText = "Texto do convênio";
inline constexpr const char* AccAgreementHelp = "Instruções";
inline constexpr const char* AccTermView = "Termo de adesão";
inline constexpr const char* AccHelpPage = "Página da ajuda";
inline constexpr const char* AccBackupTabs = "Cópia ou restauração";
inline constexpr const char* AccBackupBrowse = "Escolher o arquivo da cópia de segurança";
inline constexpr const char* AccMessageText = "Mensagem";
inline constexpr const char* AccSeedArea = "Área de movimentos";
inline constexpr const char* AccSeedAreaDescription = "Mova o mouse sobre esta área ou pressione teclas variadas até a barra se completar; Esc cancela.";
inline constexpr const char* ActiveEntityCaption = " - Entidade Ativa: ";
// The type column of the file dialogs.
inline constexpr const char* FileTypeFolder = "Pasta";
inline constexpr const char* FileTypeFile = "Arquivo";

// ---- removable medium (the folder that stands for drive A) --------------------
inline constexpr const char* ActFileMedia = "Mídia Removíve&l...";
inline constexpr const char* MediaCaption = "Mídia Removível";
inline constexpr const char* MediaExplanation =
    "Escolha onde o cliente grava e lê os disquetes: o pen drive ou outra mídia removível "
    "conectada, ou uma pasta qualquer. A escolha é lembrada nas próximas vezes.";
inline constexpr const char* MediaMounted = "&Mídias removíveis conectadas:";
inline constexpr const char* MediaNoneMounted = "(nenhuma mídia removível conectada)";
inline constexpr const char* MediaCurrent = "Pasta atual: ";
inline constexpr const char* MediaOther = "Ou&tra pasta...";
inline constexpr const char* MediaDefault = "Pasta &padrão";
inline constexpr const char* MediaChooseFolder = "Escolha a pasta da mídia removível";
// Why a folder cannot stand for drive A: the folder as chosen between the
// two parts, then one of the reasons.
inline constexpr const char* DriveARefused1 = "A pasta ";
inline constexpr const char* DriveARefused2 =
    " não pode ser usada como mídia removível (drive A), pois os arquivos da mídia são apagados "
    "antes de cada gravação e ela ";
inline constexpr const char* DriveAHoldsData = "é ou contém a pasta de dados do programa.";
inline constexpr const char* DriveAHoldsProgram = "é ou contém a pasta do programa.";
inline constexpr const char* DriveAHoldsHome = "é ou contém a sua pasta pessoal.";
inline constexpr const char* DriveAIsSystem = "é uma pasta do sistema.";
// After the reason, when a step stops on such a folder.
inline constexpr const char* DriveAStop = " A operação não será concluída.";
inline constexpr const char* MediaFixed =
    "A pasta da mídia removível foi fixada na configuração do computador e não pode ser "
    "alterada aqui.";
inline constexpr const char* StartFailure =
    "Não foi possível abrir o arquivo de dados da aplicação. Ela será imediatamente terminada. "
    "Se o problema persistir, entre em contato com o atendimento da Autoridade Certificadora e "
    "informe a seguinte mensagem de erro: ";
inline constexpr const char* SaveFailure =
    "Ocorreu um erro ao tentar salvar os dados da aplicação em disco. Todas as informações serão "
    "perdidas. Se o problema persistir, entre em contato com o atendimento da Autoridade "
    "Certificadora e informe a seguinte mensagem de erro: ";
inline constexpr const char* CertificateNameNotUnique = "O nome do certificado eletrônico deve ser único.";
// Shown for a failure that carries no message of its own.
inline constexpr const char* UnknownFailure = "Ocorreu um erro inesperado.";

// Next-task texts: complete HTML documents in ISO-8859-1, accented letters as
// named entities, CR LF line ends. Each link's target is the action it runs.
#define QUORVEX_TIP_HEAD(heading)                                                          \
    "<html>\r\n<head>\r\n"                                                                 \
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\r\n"     \
    "<title>Sua pr&oacute;xima tarefa</title>\r\n</head>\r\n<body>\r\n"                    \
    "<b><font size=\"4\">" heading "</font></b><br>\r\n"
#define QUORVEX_TIP_TAIL                                                                   \
    "<p>Central de Atendimento: 0800&nbsp;940&nbsp;1717</p>\r\n</body>\r\n</html>\r\n"
inline constexpr const char* TipRequestAdd =
    QUORVEX_TIP_HEAD("Sua pr&oacute;xima tarefa:")
    "<p>Antes obter um certificado eletr&ocirc;nico para acesso ao sistema Vinculum,\r\n"
    "voc&ecirc; deve primeiro cadastrar uma entidade. Para isso, clique em\r\n"
    "<a href=\"RequestAdd\">Nova Entidade</a> no menu Requisi&ccedil;&atilde;o,\r\n"
    "ou simplesmente tecle Ctrl + E.</p>\r\n"
    QUORVEX_TIP_TAIL;
inline constexpr const char* TipFileDisk =
    QUORVEX_TIP_HEAD("Sua pr&oacute;xima tarefa:")
    "<p>Finalmente, voc&ecirc; est&aacute; apto a utilizar seu certificado eletr&ocirc;nico\r\n"
    "para acesso ao sistema Vinculum. Selecione primeiro o &iacute;cone do certificado e\r\n"
    "clique em <a href=\"FileDisk\">Criar Disquete</a> no menu Arquivo, ou simplesmente\r\n"
    "tecle Ctrl + D. Guarde o disquete em local seguro.</p>\r\n"
    QUORVEX_TIP_TAIL;
inline constexpr const char* TipRequestReceive =
    QUORVEX_TIP_HEAD("Sua pr&oacute;xima tarefa:")
    "<p>Ap&oacute;s a assinatura do conv&ecirc;nio de presta&ccedil;&atilde;o de servi&ccedil;os,\r\n"
    "a Autoridade Certificadora deve lhe fornecer um disquete contendo seu certificado\r\n"
    "eletr&ocirc;nico assinado. Insira-o na unidade de disquete e clique em\r\n"
    "<a href=\"RequestReceive\">Receber</a> no menu Requisi&ccedil;&atilde;o.</p>\r\n"
    QUORVEX_TIP_TAIL;
inline constexpr const char* TipRequestSend =
    QUORVEX_TIP_HEAD("Sua pr&oacute;xima tarefa")
    "<p>A partir de agora, voc&ecirc; pode enviar sua requisi&ccedil;&atilde;o &agrave; Autoridade\r\n"
    "Certificadora. Clique em <a href=\"RequestSend\">Enviar</a> no menu\r\n"
    "Requisi&ccedil;&atilde;o. N&atilde;o se esque&ccedil;a de preencher e imprimir pelo menos\r\n"
    "duas vias do conv&ecirc;nio de presta&ccedil;&atilde;o de servi&ccedil;os, que dever&atilde;o ser\r\n"
    "assinadas perante o agente de registro da Autoridade Certificadora.</p>\r\n"
    QUORVEX_TIP_TAIL;
inline constexpr const char* TipFileNew =
    QUORVEX_TIP_HEAD("Sua pr&oacute;xima tarefa:")
    "<p>Voc&ecirc; deve agora criar pelo menos um certificado eletr&ocirc;nico, a ser\r\n"
    "assinado pela Autoridade Certificadora. Clique em <a href=\"FileNew\">Novo</a>\r\n"
    "no menu Arquivo, ou simplesmente tecle Ctrl + N.</p>\r\n"
    QUORVEX_TIP_TAIL;
inline constexpr const char* TipRequestFill =
    QUORVEX_TIP_HEAD("Sua pr&oacute;xima tarefa:")
    "<p>Para obter um certificado eletr&ocirc;nico para acesso ao sistema Vinculum,\r\n"
    "voc&ecirc; deve primeiro preencher uma requisi&ccedil;&atilde;o &agrave; Autoridade\r\n"
    "Certificadora. Clique em <a href=\"RequestFill\">Preencher</a> no menu\r\n"
    "Requisi&ccedil;&atilde;o, ou simplesmente tecle Ctrl + P.</p>\r\n"
    QUORVEX_TIP_TAIL;
#undef QUORVEX_TIP_HEAD
#undef QUORVEX_TIP_TAIL

// Entity actions (register, fill in, remove an entity).
inline constexpr const char* EntityRemoveQuestion =
    "Você está prestes a remover permanentemente a entidade selecionada. Tem certeza de que deseja "
    "continuar?";
// On a line of its own after the question: the entity it removes, by its
// name and its inscription ("CNPJ" or "CEI").
inline constexpr const char* EntityRemoveWhich = "Entidade: %s - %s: %s";

// ---- dialogs: message dialog, About box -------------------------------------
inline constexpr const char* BtnYes = "&Sim";
inline constexpr const char* BtnNo = "&Não";
inline constexpr const char* BtnOK = "OK";
inline constexpr const char* BtnCancel = "Cancelar";
inline constexpr const char* BtnAbort = "&Abortar";
inline constexpr const char* BtnRetry = "&Tentar novamente";
inline constexpr const char* BtnIgnore = "&Ignorar";
inline constexpr const char* BtnAll = "&Todos";
inline constexpr const char* BtnNoToAll = "&Não para Todos";
inline constexpr const char* BtnYesToAll = "Sim para &Todos";
inline constexpr const char* BtnHelp = "Ajuda";
inline constexpr const char* AboutCaption = "Sobre o ";
inline constexpr const char* VersionPrefix = "Versão ";
inline constexpr const char* AboutCopyright = "© Orvanta. Todos os direitos reservados.";
inline constexpr const char* VersionFailure =
    "Ocorreu um erro de sistema ao capturar informações sobre a versão da aplicação. Ela não está "
    "funcionando apropriadamente. Se o problema persistir, entre em contato com o atendimento da "
    "Autoridade Certificadora e informe a seguinte mensagem de erro: ";

// ---- overview of the entities (an office's table of its clients) ------------
inline constexpr const char* ActRequestOverview = "Visão &Geral das Entidades...";
inline constexpr const char* OvCaption = "Visão Geral das Entidades";
inline constexpr const char* OvFilter = "&Localizar:";
inline constexpr const char* OvFilterHint = "Parte do nome, do CNPJ ou do CEI";
inline constexpr const char* OvPendingOnly = "Só &pendentes";
inline constexpr const char* OvKeepOpen = "&Manter aberta ao escolher";
inline constexpr const char* OvTable = "&Entidades:";
inline constexpr const char* OvChoose = "&Ativar";
inline constexpr const char* OvExport = "E&xportar lista...";
// The letter under the "u": one under the "j" hides in its descender.
inline constexpr const char* OvHelp = "Aj&uda";
inline constexpr const char* OvClose = "&Fechar";
// %d: the entities shown, then all of them.
inline constexpr const char* OvShown = "%d de %d entidades";
// Column titles, also the first line of the exported list.
inline constexpr const char* OvColInscription = "CNPJ/CEI";
inline constexpr const char* OvColRazao = "Razão Social";
inline constexpr const char* OvColState = "Situação";
inline constexpr const char* OvColSigned = "Assinados";
inline constexpr const char* OvColUnsigned = "Não assinados";
inline constexpr const char* OvColNextTask = "Próxima tarefa";
// An entity's state.
inline constexpr const char* OvStateRegistered = "Cadastrada";
inline constexpr const char* OvStateCreated = "Certificados criados";
inline constexpr const char* OvStateSent = "Requisição enviada";
inline constexpr const char* OvStateReceived = "Certificados recebidos";
// After the state of an entity whose data file was found damaged at start.
inline constexpr const char* OvStateDamaged = " (arquivo danificado)";
// The next task, in a few words.
inline constexpr const char* OvTaskRequestAdd = "Cadastrar uma entidade";
inline constexpr const char* OvTaskRequestFill = "Preencher a requisição";
inline constexpr const char* OvTaskFileNew = "Criar certificado";
inline constexpr const char* OvTaskRequestSend = "Enviar a requisição";
inline constexpr const char* OvTaskRequestReceive = "Receber a resposta";
inline constexpr const char* OvTaskFileDisk = "Criar disquete";
inline constexpr const char* OvExportTitle = "Exportar Lista de Entidades";
inline constexpr const char* OvExportFilter = "Planilhas CSV (*.csv)|*.csv|Todos os arquivos (*.*)|*.*";
inline constexpr const char* OvExportName = "entidades.csv";
// %d: how many entities; %s: the file's name.
inline constexpr const char* OvExportDone = "A lista de %d entidades foi gravada em %s.";
// %s: the file's name; then the failure's message.
inline constexpr const char* OvExportFailed = "Não foi possível gravar a lista em %s. Ocorrência: ";
// What a screen reader says of the controls.
inline constexpr const char* AccOvFilter = "Localizar na visão geral";
inline constexpr const char* AccOvFilterDescription =
    "Digite parte do nome ou do CNPJ/CEI: a tabela mostra só as entidades encontradas. Enter ativa a entidade da linha selecionada.";
inline constexpr const char* AccOvTable = "Entidades, sua situação e sua próxima tarefa";
inline constexpr const char* AccOvTableDescription =
    "Uma linha por entidade. Clique no título de uma coluna para ordenar; Enter ou um clique duplo ativa a entidade na janela principal.";

// ---- agreement and help -----------------------------------------------------

// Service agreement form.
inline constexpr const char* AgrCaption = "Convênio de Prestação de Serviços";
inline constexpr const char* AgrPageContract = "Contrato";
inline constexpr const char* AgrPageTerm = "Termo Adesão";
inline constexpr const char* AgrAccept = "Eu concordo com os termos do convênio de prestação de serviço";
// The term button reads one or the other, and so tells which page is shown.
inline constexpr const char* AgrTermButton = "Termo de Adesão ao Convênio";
inline constexpr const char* AgrAgreementButton = "Conv. de Prestação de Serviços";
inline constexpr const char* AgrSave = "&Salvar";
inline constexpr const char* AgrPrint = "&Imprimir";
inline constexpr const char* AgrCancel = "&Cancelar";
inline constexpr const char* AgrFinish = "&Finalizar";
inline constexpr const char* AgrHelp = "Ajuda";
// Followed directly by the failure's own message.
inline constexpr const char* AgrReadError =
    "Erro ao ler o arquivo que contém o Convênio de Prestação de Serviços. Verifique se o mesmo não "
    "está sendo utilizado por outro aplicativo. ";
inline constexpr const char* AgrHelpTitle = "Instruções:";
inline constexpr const char* AgrHelpText =
    "Você deve enviar à Autoridade Certificadora SOMENTE duas vias impressas do termo de adesão ao "
    "convênio de prestação de serviços. \r\n\r\nAlertamos que o Convênio de Prestação de Serviço NÃO "
    "necessita ser impresso nem levado à Autoridade Certificadora para assinatura.";
inline constexpr const char* AgrRtfFilter = "RTF files (*.rtf)|*.RTF";
inline constexpr const char* AgrHtmFilter = "HTM files (*.htm)|*.HTM";
inline constexpr const char* AgrOverwrite = "Arquivo já existe. Deseja sobrescrever ?";
inline constexpr const char* AgrWarningTitle = "AVISO";
inline constexpr const char* AgrWriteError = "Erro ao gravar arquivo em disco !";
inline constexpr const char* AgrErrorTitle = "E R R O";
inline constexpr const char* AgrPrintJob = "Contrato de Convênio";
// The line breaks are single carriage returns.
inline constexpr const char* AgrFinishNotPrinted = "Deseja finalizar esta aplicação sem antes\rimprimir este termo de adesão ?";
inline constexpr const char* AgrFinishNotSaved = "Deseja finalizar esta aplicação sem antes\rsalvar em disco seu termo de adesão ?";

// ---- crypto kit: seed dialog -------------------------------------------------
inline constexpr const char* SeedDialogTitle = "Geração de chaves";
inline constexpr const char* SeedDialogPrompt = "Movimente o mouse sobre esta janela (ou pressione teclas variadas) até que a barra fique completa. Os movimentos do mouse e as teclas são usados na geração das chaves do certificado eletrônico.";
inline constexpr const char* SeedDialogCancel = "Cancelar";

// ---- help viewer -------------------------------------------------------------
inline constexpr const char* HelpCaption = "Ajuda";
// Each caption begins with 13 spaces: the button's picture sits there.
inline constexpr const char* HelpTopicsButton = "             Tópicos";
inline constexpr const char* HelpBackButton = "             Voltar";
inline constexpr const char* HelpForwardButton = "             Avançar";
// The page shown instead of a help page that cannot be had: the first %s is
// "arquivo" or "documento", the second the archive's path or the page's name.
inline constexpr const char* HelpErrorPage =
    "<html>\r\n"
    "<head>\r\n"
    "<meta http-equiv=\"content-type\" content=\"text/html; charset=ISO-8859-1\">\r\n"
    "<title>Documento n&amp;atilde;o encontrado</title>\r\n"
    "<meta name=\"description\" content=\"O documento de ajuda especificado n&atilde;o foi localizado.\">\r\n"
    "</head>\r\n"
    "<body>\r\n"
    "<b><big>Erro ocorrido no dispositivo de Ajuda HTML:</big></b><br>\r\n"
    "O %s de ajuda %s n&atilde;o foi localizado. &Eacute; poss&iacute;vel \r\n"
    "que a aplica&ccedil;&atilde;o n&atilde;o esteja funcionando apropriadamente.<br>\r\n"
    "</body>\r\n"
    "</html>";
inline constexpr const char* HelpErrorArchive = "arquivo";
inline constexpr const char* HelpErrorDocument = "documento";

// ---- certificate road: receiving the authority's response --------------------
inline constexpr const char* ReceiveInsertDisk = "Por favor, insira o disquete recebido da Autoridade Certificadora no drive A.";
inline constexpr const char* ReceiveDialogTitle = "Receber Requisição";
// The open dialog's filter: pairs of "text|pattern".
inline constexpr const char* ReceiveFilter = "Arquivos de requisição (*.CNS)|*.CNS|Todos os arquivos (*.*)|*.*";
inline constexpr const char* ReceiveInvalidFile = "O arquivo selecionado contendo os certificados assinados é inválido.";
// First %s: the certificate's identifier in the storage; second %s: the
// inscription that the response names for it.
inline constexpr const char* ReceiveWrongInscription =
    "O certificado eletrônico %s não foi assinado para o seu usuário, mas para a inscrição %s. É provável que o arquivo de requisição esteja incorreto.";
inline constexpr const char* ReceiveIncompatible = "Esta requisição assinada não é compatível com os dados armazenados em seus storage.";
// %s: the certificate's identifier.
inline constexpr const char* ReceiveNoMedium =
    "Não foi possível obter a mídia do certificado eletrônico %s do arquivo de dados da aplicação. É provável que o arquivo de requisição esteja incorreto.";
// Followed by the failure's class name, " - " and its message.
inline constexpr const char* ReceiveStoreError =
    "Ocorreu um erro ao gravar o certificado assinado no arquivo de dados da aplicação. Tente novamente. Se o problema persistir, entre em contato com o atendimento da Autoridade Certificadora e informe a seguinte mensagem de erro: ";
// %d: the number of certificates incorporated.
inline constexpr const char* ReceiveSummary = "Foram incorporados com sucesso %d certificados eletrônicos assinados.";
// The kit refused a certificate that was issued for another key (followed by
// the kit's code, as the other messages of PutCertificate).
inline constexpr const char* CertificateForAnotherKey =
    "O certificado assinado não foi emitido para a chave deste certificado eletrônico. É provável que o arquivo de requisição esteja incorreto.";

// ---- data folder safety: size bound, damaged files, a second client ---------
// A data file larger than any the program writes: lead-in, the file name, the
// middle part, the bound in megabytes, the closing part.
inline constexpr const char* DataFileTooLarge1 = "O arquivo de dados ";
inline constexpr const char* DataFileTooLarge2 = " tem mais de ";
inline constexpr const char* DataFileTooLarge3 =
    " MB, tamanho que nenhum arquivo de dados da aplicação atinge; ele não foi lido.";
// Shown once at start for each data file whose reading stopped early
// (damaged): lead-in, the file, the middle part, the copy, the closing part.
inline constexpr const char* DamagedFileKept1 = "O arquivo de dados ";
inline constexpr const char* DamagedFileKept2 =
    " estava danificado: a leitura parou antes do fim do arquivo, e o que vinha depois não pôde ser "
    "lido. Uma cópia do arquivo original foi guardada em ";
inline constexpr const char* DamagedFileKept3 = ".";
// Shown at start when the registry holds more live entities than the client
// opens: lead-in, how many were opened, the middle part, how many were not,
// the closing part.
inline constexpr const char* EntitiesLeftOut1 =
    "O cadastro de entidades (ENTITY.DAT) tem mais entidades do que o cliente abre de uma vez: "
    "somente as primeiras ";
inline constexpr const char* EntitiesLeftOut2 = " foram abertas. As outras ";
inline constexpr const char* EntitiesLeftOut3 = " continuam no arquivo como estão, sem ser abertas nem alteradas.";
// A new entity asked for when the registry holds as many as the client opens.
inline constexpr const char* EntityLimitReached =
    "O cadastro já tem o máximo de entidades que o cliente abre de uma vez; nenhuma entidade nova pode ser "
    "incluída.";
// A second client started on a data folder that a running client holds.
inline constexpr const char* AlreadyRunning =
    "O Cliente de Certificação Quorvex já está em execução com esta pasta de dados. Use a janela que "
    "já está aberta.";
// A restore interrupted between its first and its last file that could not
// be finished at start: lead-in, the data folder, the middle part, the
// system's reason, the closing part.
inline constexpr const char* RestoreNotFinished1 =
    "Uma restauração de cópia de segurança foi interrompida antes de terminar, e não foi possível "
    "concluí-la na pasta de dados ";
inline constexpr const char* RestoreNotFinished2 = " (";
inline constexpr const char* RestoreNotFinished3 =
    "). Os arquivos de dados ficam como estão, sem ser abertos nem alterados, para que os novos não se "
    "misturem com os antigos; a restauração será concluída na próxima vez que o cliente for aberto.";

// ---- backup: what a restore leaves out --------------------------------------
// Followed by the archived names, one per line.
inline constexpr const char* BkSkippedEntries =
    "Os itens abaixo da cópia de segurança não são arquivos de dados do cliente de certificação e não foram "
    "restaurados:";

// ---- backup: before a restore replaces the current data ---------------------
// "A restauração substituirá os dados atuais: 3 entidades e 11 certificados. ..."
inline constexpr const char* BkRestoreQuestion1 = "A restauração substituirá os dados atuais: ";
inline constexpr const char* BkRestoreEntity = " entidade";
inline constexpr const char* BkRestoreEntities = " entidades";
inline constexpr const char* BkRestoreAnd = " e ";
inline constexpr const char* BkRestoreCertificate = " certificado";
inline constexpr const char* BkRestoreCertificates = " certificados";
inline constexpr const char* BkRestoreQuestion2 =
    ". Antes, os dados atuais serão guardados numa cópia de segurança na pasta de dados. Deseja continuar?";
inline constexpr const char* BkSafetyCopyFailed =
    "Não foi possível guardar os dados atuais numa cópia de segurança. Nada foi restaurado.";
// Followed by the path of the copy, then BkSafetyCopyKept2.
inline constexpr const char* BkSafetyCopyKept1 = "Os dados que havia antes da restauração foram guardados em:\n";
inline constexpr const char* BkSafetyCopyKept2 = "\nPara voltar a eles, restaure essa cópia de segurança.";

// ---- certificate steps: creation, removal, sending, medium, export, import ----
inline constexpr const char* MaxCertificates = "Já foi criada a quantidade máxima de certificados permitida para uma empresa usuária. Não é possível continuar.";
inline constexpr const char* KeyGenerationError = "Ocorreu um erro durante o processo de geração das chaves de criptografia. Reinstale este aplicativo e tente novamente. Caso persista o problema, consulte a central de atendimento da Autoridade Certificadora e informe a seguinte ocorrência: ";
inline constexpr const char* KeyGenerationCancelled = "O processo de geração de chaves foi cancelado.";
inline constexpr const char* SignedNotRemovable = "Este certificado eletrônico já foi assinado e só será removido do arquivo de dados após a criação do disquete.";
inline constexpr const char* RemoveCertificateQuestion = "Você está prestes a remover permanentemente o certificado eletrônico selecionado. Tem certeza de que deseja continuar?";
inline constexpr const char* ResendQuestion = "Você já enviou uma requisição anteriormente. Deseja reenviá-la?";
inline constexpr const char* AllCertificatesSignedStop = "Todos os certificados gerados foram assinados. A operação não será concluída.";
inline constexpr const char* SendError = "Ocorreu um erro durante o processo de envio da requisição. Reinstale este aplicativo e tente novamente. Caso persista o problema, consulte a central de atendimento da Autoridade Certificadora e informe a seguinte ocorrência: ";
inline constexpr const char* RequestSignError = "Ocorreu um erro durante a assinatura eletrônica da requisição. É possível que a senha informada não seja a correta. Tente novamente. Caso persista o problema, consulte a central de atendimento da Autoridade Certificadora e informe a seguinte ocorrência: ";
inline constexpr const char* InsertFormattedDisk = "Por favor, insira um disquete formatado no drive A.";
inline constexpr const char* ClearDiskQuestion = "Todos os arquivos existentes no disquete serão removidos permanentemente. Deseja realmente continuar?";
// On a line of its own after the question: the folder and how many files go.
inline constexpr const char* ClearDiskFolder = "Pasta: %s - arquivos a remover: %d";
// On a line of its own after a medium question: the folder that is drive A.
inline constexpr const char* InsertDiskFolder = "Pasta do drive A: %s";
// Instead of ClearDiskQuestion when some files on the medium stay.
inline constexpr const char* ClearDiskClientFilesQuestion = "Os arquivos gravados por este programa no disquete serão removidos permanentemente; os demais arquivos serão mantidos. Deseja realmente continuar?";
// Lines of the clearing question: the files that go, those that stay. %s: a
// few names, then ClearDiskMore.
inline constexpr const char* ClearDiskRemoved = "Serão removidos: %s";
inline constexpr const char* ClearDiskSignedKept = "Serão mantidos, pois contêm um certificado eletrônico assinado: %s";
inline constexpr const char* ClearDiskKept = "Serão mantidos: %s";
inline constexpr const char* ClearDiskMore = "e mais %d";
// After a step wrote to the medium: the file's name, then its folder.
inline constexpr const char* RequestWritten = "A requisição foi gravada no arquivo %s, na pasta %s.";
inline constexpr const char* MediumWritten = "O certificado eletrônico foi gravado no arquivo %s, na pasta %s.";
inline constexpr const char* AgreementQuestion = "Você deve enviar à Autoridade Certificadora duas vias impressas do termo de adesão ao convênio de prestação de serviços. Deseja realizar essa operação agora?";
inline constexpr const char* NotSignedYet = "Este certificado eletrônico ainda não foi assinado pela Autoridade Certificadora. O disquete não pode ser gerado.";
inline constexpr const char* DiskTitle = "Criar Disquete";
inline constexpr const char* DiskFilter = "Arquivos de certificado (*.PRI)|*.PRI|Todos os arquivos (*.*)|*.*";
// %s: the certificate's identifier.
inline constexpr const char* CannotGetMedia = "Não foi possível obter a mídia do certificado eletrônico %s do arquivo de dados da aplicação. É provável que o arquivo de requisição esteja incorreto.";
inline constexpr const char* DiskWriteError = "Ocorreu um erro ao tentar gerar o disquete com o certificado eletrônico. A operação não será concluída.";
inline constexpr const char* TooManyPasswordAttempts = "Excesso de tentativas de alteração de senha. A operação de geração do disquete não continuará.";
inline constexpr const char* WrongCurrentPassword = "A senha atual para o certificado eletrônico está incorreta. Tente novamente.";
inline constexpr const char* ExportTitle = "Exportar Certificados";
inline constexpr const char* ExportFilter = "Arquivos de certificado (*.CRT)|*.CRT|Todos os arquivos (*.*)|*.*";
inline constexpr const char* ExportOverwriteFailed = "Não foi possível sobrescrever o arquivo selecionado. A exportação não será concluída.";
// %d: how many were exported.
inline constexpr const char* ExportDone = "Foram exportados com sucesso %d certificados eletrônicos.";
inline constexpr const char* ImportTitle = "Importar Certificados";
// %s: the file's name.
inline constexpr const char* ImportCannotOpen = "Não foi possível abrir o arquivo %s. A operação não será concluída.";
inline constexpr const char* ImportInvalid = "Arquivo de exportação de certificados inválido. Não é possível concluir a importação.";
inline constexpr const char* ImportNothing = "O arquivo selecionado não contém certificados passíveis de serem importados.";
inline constexpr const char* ImportInconsistent = "Os dados de usuário dos certificados não são consistentes entre si. Não é possível continuar a importação.";
// Our own questions and notices, where the steps now stop or ask instead
// of losing a key. %s: a file's name.
inline constexpr const char* ReplaceFileQuestion = "O arquivo %s já existe. Deseja substituí-lo?";
inline constexpr const char* MediumNotConfirmed = "Não foi possível confirmar a gravação do certificado eletrônico no disquete. O certificado foi mantido no arquivo de dados da aplicação; repita a operação com outro disquete.";
// %s: the temporary key file; then the failure's message.
inline constexpr const char* KeyFileNotWiped = "Não foi possível apagar com segurança o arquivo temporário %s. Apague-o manualmente. Ocorrência: ";
// Receiving: the inscription shown when the response names no certificate
// identifier at a position.
inline constexpr const char* ReceiveNoInscription = "(nenhuma)";

} // namespace Texts
// clang-format on
