<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>DetailColumns</name>
    <message>
        <source>Name</source>
        <translation>Nome</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Dimensione</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Tipo</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Ultima modifica</translation>
    </message>
    <message>
        <source>empty</source>
        <translation>vuoto</translation>
    </message>
</context>
<context>
    <name>PropertiesDialog</name>
    <message>
        <source>Properties of %1</source>
        <translation>Proprietà di %1</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Nome:</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>Cartella:</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Dimensione:</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>Tipo:</translation>
    </message>
    <message>
        <source>Modified:</source>
        <translation>Ultima modifica:</translation>
    </message>
    <message>
        <source>Permissions:</source>
        <translation>Permessi:</translation>
    </message>
</context>
<context>
    <name>ShellMenu</name>
    <message>
        <source>Open</source>
        <translation>Apri</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Rinomina</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Proprietà</translation>
    </message>
</context>
<context>
    <name>ShellOpen</name>
    <message>
        <source>Cannot open &quot;%1&quot;: no program to open it was found.</source>
        <translation>Impossibile aprire &quot;%1&quot;: non è stato trovato alcun programma per aprirlo.</translation>
    </message>
</context>
<context>
    <name>ShellRename</name>
    <message>
        <source>Rename to %1 failed.</source>
        <translation>Impossibile rinominare in %1.</translation>
    </message>
    <message>
        <source>The name cannot be empty.</source>
        <translation>Il nome non può essere vuoto.</translation>
    </message>
    <message>
        <source>A name cannot contain any of the characters \ / : * ? &quot; &lt; &gt; | nor control characters.</source>
        <translation>Un nome non può contenere i caratteri \ / : * ? &quot; &lt; &gt; | né caratteri di controllo.</translation>
    </message>
    <message>
        <source>A name cannot end with a dot or a blank.</source>
        <translation>Un nome non può terminare con un punto o uno spazio.</translation>
    </message>
    <message>
        <source>Windows keeps this name for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9), also with an extension.</source>
        <translation>Windows riserva questo nome a un dispositivo (CON, PRN, AUX, NUL, da COM1 a COM9, da LPT1 a LPT9), anche con un&apos;estensione.</translation>
    </message>
    <message>
        <source>A name cannot begin with a dot: the document would be hidden and could no longer be shown in the list.</source>
        <translation>Un nome non può iniziare con un punto: il documento diventerebbe nascosto e non comparirebbe più nell&apos;elenco.</translation>
    </message>
    <message>
        <source>Windows and Office keep this name for files of their own, which the list does not show.</source>
        <translation>Windows e Office riservano questo nome a file propri, che l&apos;elenco non mostra.</translation>
    </message>
    <message>
        <source>The name is too long (more than %1 bytes).</source>
        <translation>Il nome è troppo lungo (più di %1 byte).</translation>
    </message>
    <message>
        <source>A document or folder with this name already exists.</source>
        <translation>Esiste già un documento o una cartella con questo nome.</translation>
    </message>
    <message>
        <source>A document or folder with this name written in other capital and small letters already exists.</source>
        <translation>Esiste già un documento o una cartella con questo nome scritto con maiuscole e minuscole diverse.</translation>
    </message>
    <message>
        <source>The document is no longer there: it has been renamed, moved or deleted meanwhile.</source>
        <translation>Il documento non c&apos;è più: nel frattempo è stato rinominato, spostato o cancellato.</translation>
    </message>
    <message>
        <source>Meanwhile the document has been renamed or replaced at another desk: its name now leads to another file, which was left as it is.</source>
        <translation>Nel frattempo il documento è stato rinominato o sostituito da un&apos;altra postazione: il suo nome ora indica un altro file, che non è stato rinominato.</translation>
    </message>
    <message>
        <source>Another program is using the document.</source>
        <translation>Il documento è in uso da parte di un altro programma.</translation>
    </message>
    <message>
        <source>The document is open by %1 on the computer %2 since %3.</source>
        <translation>Il documento è aperto da %1 sul computer %2 dal %3.</translation>
    </message>
    <message>
        <source>The document is open by %1 since %2.</source>
        <translation>Il documento è aperto da %1 dal %2.</translation>
    </message>
    <message>
        <source>The document is open on the computer %1 since %2.</source>
        <translation>Il documento è aperto sul computer %1 dal %2.</translation>
    </message>
    <message>
        <source>The document is open in a word processor since %1.</source>
        <translation>Il documento è aperto in un programma di videoscrittura dal %1.</translation>
    </message>
    <message>
        <source>You may not change this folder, or the document is read-only.</source>
        <translation>Non si hanno i permessi per modificare questa cartella, oppure il documento è di sola lettura.</translation>
    </message>
    <message>
        <source>The system refused the change.</source>
        <translation>Il sistema ha rifiutato la modifica.</translation>
    </message>
</context>
</TS>
