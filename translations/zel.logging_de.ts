<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Dialog</name>
    <message>
        <source>Delete old log files</source>
        <translation>Alte Logdateien löschen</translation>
    </message>
    <message>
        <source>Do you also want to delete older log files?</source>
        <translation>Möchten Sie auch ältere Logdateien löschen?</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>All log files are empty. Please log another session and try again</source>
        <translation>Alle Logdateien sind leer. Bitte zeichnen Sie eine weitere Sitzung auf und versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>Support File Exists</source>
        <translation>Supportdatei vorhanden</translation>
    </message>
    <message>
        <source>Support File Does Not Exist</source>
        <translation>Supportdatei nicht vorhanden</translation>
    </message>
    <message>
        <source>Re-create support file?</source>
        <translation>Supportdatei neu erstellen?</translation>
    </message>
    <message>
        <source>Create support file?</source>
        <translation>Supportdatei erstellen?</translation>
    </message>
    <message>
        <source>Enable Logging:</source>
        <translation>Logging aktivieren:</translation>
    </message>
    <message>
        <source>zel.logging</source>
        <translation>zel.logging</translation>
    </message>
    <message>
        <source>zel.device manager</source>
        <translation>zel.device manager</translation>
    </message>
    <message>
        <source>zel.sdk</source>
        <translation>zel.sdk</translation>
    </message>
    <message>
        <source>zel.recorder</source>
        <translation>zel.recorder</translation>
    </message>
    <message>
        <source>zel.matlab adaptor</source>
        <translation>zel.matlab adaptor</translation>
    </message>
    <message>
        <source>zel.interface</source>
        <translation>zel.interface</translation>
    </message>
    <message>
        <source>FireWire</source>
        <translation>FireWire</translation>
    </message>
    <message>
        <source>Camera Link</source>
        <translation>Camera Link</translation>
    </message>
    <message>
        <source>Camera Link HS</source>
        <translation>Camera Link HS</translation>
    </message>
    <message>
        <source>USB</source>
        <translation>USB</translation>
    </message>
    <message>
        <source>USB3</source>
        <translation>USB3</translation>
    </message>
    <message>
        <source>GigE</source>
        <translation>GigE</translation>
    </message>
    <message>
        <source>GeniCam</source>
        <translation>GeniCam</translation>
    </message>
    <message>
        <source>Clear Logfiles</source>
        <translation>Logdateien leeren</translation>
    </message>
    <message>
        <source>Explore Logfiles</source>
        <translation>Logdateien anzeigen</translation>
    </message>
    <message>
        <source>Logging Level</source>
        <translation>Logging-Stufe</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Standard</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Full</source>
        <translation>Vollständig</translation>
    </message>
    <message>
        <source>Create Support File</source>
        <translation>Supportdatei erstellen</translation>
    </message>
    <message>
        <source>Support Mail (+Support File)</source>
        <translation>Support-E-Mail (+Supportdatei)</translation>
    </message>
    <message>
        <source>Waiting for the system tools</source>
        <translation>Warten auf die Systemprogramme</translation>
    </message>
    <message>
        <source>Packing %1</source>
        <translation>%1 wird gepackt</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>Support File</source>
        <translation>Supportdatei</translation>
    </message>
    <message>
        <source>These log files could not be backed up and emptied; they keep their contents:</source>
        <translation>Diese Logdateien konnten nicht gesichert und geleert werden; sie behalten ihren Inhalt:</translation>
    </message>
    <message>
        <source>The support file could not be written completely (is the disk full?). An earlier support file stays as it was.</source>
        <translation>Die Supportdatei konnte nicht vollständig geschrieben werden (ist der Datenträger voll?). Eine frühere Supportdatei bleibt unverändert.</translation>
    </message>
    <message>
        <source>The support file could not be copied for the mail program.</source>
        <translation>Die Supportdatei konnte nicht für das Mailprogramm kopiert werden.</translation>
    </message>
    <message>
        <source>These INI files could not take the logging level:</source>
        <translation>Diese INI-Dateien konnten die Logging-Stufe nicht übernehmen:</translation>
    </message>
    <message>
        <source>No component is switched on. Please switch one on, log a session and try again</source>
        <translation>Keine Komponente ist eingeschaltet. Bitte schalten Sie eine ein, zeichnen Sie eine Sitzung auf und versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>See &quot;zel.logging --help&quot;.</source>
        <translation>Siehe „zel.logging --help“.</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>fehlt</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>no regular file of its own (a link, a folder or a pipe)</source>
        <translation>keine eigene, gewöhnliche Datei (ein Link, ein Ordner oder eine Pipe)</translation>
    </message>
    <message>
        <source>cannot be read as an INI file</source>
        <translation>nicht als INI-Datei lesbar</translation>
    </message>
    <message>
        <source>no level</source>
        <translation>keine Stufe</translation>
    </message>
    <message>
        <source>on</source>
        <translation>ein</translation>
    </message>
    <message>
        <source>off</source>
        <translation>aus</translation>
    </message>
    <message>
        <source>Switches the logging of the camera software&apos;s components and builds the support archive, without a window. Without options, the dialog opens. Components are named by key (&quot;zel.sdk&quot;) or by their text in the dialog (&quot;USB3&quot;), in any letter case; several are separated by commas.</source>
        <translation>Schaltet das Logging der Komponenten der Kamerasoftware und erstellt die Supportdatei, ohne Fenster. Ohne Optionen öffnet sich der Dialog. Komponenten werden mit ihrem Schlüssel („zel.sdk“) oder ihrem Text im Dialog („USB3“) benannt, in beliebiger Groß- und Kleinschreibung; mehrere werden durch Kommas getrennt.</translation>
    </message>
    <message>
        <source>NAME</source>
        <translation>NAME</translation>
    </message>
    <message>
        <source>Writes the level (Error, Standard, High or Full) into the INI files of the components whose logging is on. Components switched on without it get Standard, as in the dialog.</source>
        <translation>Schreibt die Stufe (Fehler, Standard, Hoch oder Vollständig) in die INI-Dateien der Komponenten, deren Logging eingeschaltet ist. Ohne diese Option eingeschaltete Komponenten erhalten Standard, wie im Dialog.</translation>
    </message>
    <message>
        <source>LEVEL</source>
        <translation>STUFE</translation>
    </message>
    <message>
        <source>Clears the logs of the components whose logging is on, keeping one backup of each.</source>
        <translation>Leert die Logdateien der Komponenten, deren Logging eingeschaltet ist, und behält von jeder eine Sicherung.</translation>
    </message>
    <message>
        <source>With --clear: moves the older log files into the backup folder too (the dialog&apos;s question; by default they stay).</source>
        <translation>Mit --clear: verschiebt auch die älteren Logdateien in den Sicherungsordner (die Frage des Dialogs; ohne die Option bleiben sie).</translation>
    </message>
    <message>
        <source>Builds the support archive zel_support.zip in the log folder.</source>
        <translation>Erstellt die Supportdatei zel_support.zip im Logordner.</translation>
    </message>
    <message>
        <source>With --support-archive: writes the archive to PATH instead.</source>
        <translation>Mit --support-archive: schreibt die Supportdatei stattdessen nach PFAD.</translation>
    </message>
    <message>
        <source>PATH</source>
        <translation>PFAD</translation>
    </message>
    <message>
        <source>unexpected argument: %1</source>
        <translation>unerwartetes Argument: %1</translation>
    </message>
    <message>
        <source>--delete-older needs --clear</source>
        <translation>--delete-older braucht --clear</translation>
    </message>
    <message>
        <source>unknown component: %1</source>
        <translation>unbekannte Komponente: %1</translation>
    </message>
    <message>
        <source>unknown level: %1 (Error, Standard, High or Full)</source>
        <translation>unbekannte Stufe: %1 (Fehler, Standard, Hoch oder Vollständig)</translation>
    </message>
    <message>
        <source>could not be backed up and emptied; it keeps its contents</source>
        <translation>konnte nicht gesichert und geleert werden; sie behält ihren Inhalt</translation>
    </message>
    <message>
        <source>it is no regular file of its own (a link, a folder or a file with a second name)</source>
        <translation>sie ist keine eigene, gewöhnliche Datei (ein Link, ein Ordner oder eine Datei mit einem zweiten Namen)</translation>
    </message>
    <message>
        <source>it is larger than 16 MiB</source>
        <translation>sie ist größer als 16 MiB</translation>
    </message>
    <message>
        <source>it cannot be written</source>
        <translation>sie kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>it holds text that is no INI file (or repeated keys), which would be lost</source>
        <translation>sie enthält Text, der keine INI-Datei ist (oder doppelte Schlüssel), der verloren ginge</translation>
    </message>
    <message>
        <source>a write broke off part way; the file may have changed</source>
        <translation>ein Schreibvorgang brach mittendrin ab; die Datei kann verändert sein</translation>
    </message>
    <message>
        <source>With --support-archive: keeps of each log only its last SIZE bytes (such as 500K or 20M), from the start of a line, behind a first line that says how much was left out.</source>
        <translation>Mit --support-archive: behält von jeder Logdatei nur die letzten GRÖSSE Bytes (etwa 500K oder 20M), ab dem Anfang einer Zeile, hinter einer ersten Zeile, die sagt, wie viel weggelassen wurde.</translation>
    </message>
    <message>
        <source>SIZE</source>
        <translation>GRÖSSE</translation>
    </message>
    <message>
        <source>--max-log-size needs --support-archive</source>
        <translation>--max-log-size braucht --support-archive</translation>
    </message>
    <message>
        <source>With --support-archive: replaces the machine&apos;s names, user names, home folders, IP addresses and the device part of MAC addresses by stand-ins throughout the archive. Which stand-in is which original goes into a file beside the archive that only you can read.</source>
        <translation>Mit --support-archive: ersetzt im ganzen Archiv die Namen des Rechners, Benutzernamen, Benutzerordner, IP-Adressen und den Geräteteil von MAC-Adressen durch Platzhalter. Welcher Platzhalter für welches Original steht, kommt in eine Datei neben dem Archiv, die nur Sie lesen können.</translation>
    </message>
    <message>
        <source>--redact needs --support-archive</source>
        <translation>--redact braucht --support-archive</translation>
    </message>
    <message>
        <source>not a size: %1 (bytes, or a number followed by K, M or G)</source>
        <translation>keine Größe: %1 (Bytes, oder eine Zahl gefolgt von K, M oder G)</translation>
    </message>
    <message>
        <source>--output needs a path, or - for standard output</source>
        <translation>--output braucht einen Pfad, oder - für die Standardausgabe</translation>
    </message>
    <message>
        <source>--redact needs a file for --output: the key to the stand-ins goes beside it</source>
        <translation>--redact braucht eine Datei für --output: der Schlüssel zu den Platzhaltern kommt daneben</translation>
    </message>
    <message>
        <source>--%1 needs the name of a component</source>
        <translation>--%1 braucht den Namen einer Komponente</translation>
    </message>
    <message>
        <source>looks like a recovery file of an INI file, but belongs to none; it was left alone</source>
        <translation>sieht aus wie eine Wiederherstellungsdatei einer INI-Datei, gehört aber zu keiner; sie blieb unberührt</translation>
    </message>
    <message>
        <source>could not be deleted (%1)</source>
        <translation>konnte nicht gelöscht werden (%1)</translation>
    </message>
    <message>
        <source>could not be made (%1)</source>
        <translation>konnte nicht angelegt werden (%1)</translation>
    </message>
    <message>
        <source>is no folder and cannot be made one, so no log was backed up and emptied</source>
        <translation>ist kein Ordner und kann keiner werden, daher wurde keine Logdatei gesichert und geleert</translation>
    </message>
    <message>
        <source>cannot be written (%1)</source>
        <translation>kann nicht geschrieben werden (%1)</translation>
    </message>
    <message>
        <source>(left out of the support file)</source>
        <translation>(in der Supportdatei ausgelassen)</translation>
    </message>
    <message>
        <source>The support file could not be written to standard output completely.</source>
        <translation>Die Supportdatei konnte nicht vollständig in die Standardausgabe geschrieben werden.</translation>
    </message>
    <message>
        <source>The log folder %1 is a link. It is not used, since whoever can change the link could lead every change to files elsewhere. An administrator can put a real folder there.</source>
        <translation>Der Logordner %1 ist ein Link. Er wird nicht verwendet, denn wer den Link ändern kann, könnte jede Änderung auf Dateien anderswo lenken. Ein Administrator kann dort einen echten Ordner anlegen.</translation>
    </message>
    <message>
        <source>The log folder %1 lies below a link that another user can change. It is not used. An administrator can make the folders above it safe.</source>
        <translation>Der Logordner %1 liegt unter einem Link, den ein anderer Benutzer ändern kann. Er wird nicht verwendet. Ein Administrator kann die Ordner darüber absichern.</translation>
    </message>
    <message>
        <source>You have no permission to use the log folder %1. An administrator can give you access.</source>
        <translation>Sie haben keine Berechtigung, den Logordner %1 zu verwenden. Ein Administrator kann Ihnen Zugriff geben.</translation>
    </message>
    <message>
        <source>The log folder %1 cannot be made: a file or another folder is in its way.</source>
        <translation>Der Logordner %1 kann nicht angelegt werden: eine Datei oder ein anderer Ordner steht im Weg.</translation>
    </message>
    <message>
        <source>The support file could not be written completely: it cannot hold that many files. An earlier support file stays as it was.</source>
        <translation>Die Supportdatei konnte nicht vollständig geschrieben werden: sie kann nicht so viele Dateien aufnehmen. Eine frühere Supportdatei bleibt unverändert.</translation>
    </message>
    <message>
        <source>The support file could not be written completely: the disk is full. An earlier support file stays as it was.</source>
        <translation>Die Supportdatei konnte nicht vollständig geschrieben werden: der Datenträger ist voll. Eine frühere Supportdatei bleibt unverändert.</translation>
    </message>
    <message>
        <source>The support file could not be written completely (%1). An earlier support file stays as it was.</source>
        <translation>Die Supportdatei konnte nicht vollständig geschrieben werden (%1). Eine frühere Supportdatei bleibt unverändert.</translation>
    </message>
    <message>
        <source>The support file could not be put in place. The earlier support file and its key stay as they were.</source>
        <translation>Die Supportdatei konnte nicht an ihren Platz gebracht werden. Die frühere Supportdatei und ihr Schlüssel bleiben unverändert.</translation>
    </message>
    <message>
        <source>The support file could not be put in place, and the earlier key could not be put back: %1 holds the key to a support file that was not written. The earlier support file stays as it was.</source>
        <translation>Die Supportdatei konnte nicht an ihren Platz gebracht werden, und der frühere Schlüssel konnte nicht zurückgelegt werden: %1 enthält den Schlüssel zu einer Supportdatei, die nicht geschrieben wurde. Die frühere Supportdatei bleibt unverändert.</translation>
    </message>
    <message>
        <source>An earlier support file stays as it was.</source>
        <translation>Eine frühere Supportdatei bleibt unverändert.</translation>
    </message>
    <message>
        <source>The key to the stand-ins (%1) could not be written. The earlier support file and its key stay as they were.</source>
        <translation>Der Schlüssel zu den Platzhaltern (%1) konnte nicht geschrieben werden. Die frühere Supportdatei und ihr Schlüssel bleiben unverändert.</translation>
    </message>
    <message>
        <source>These files look like recovery files of INI files, but belong to none; they were left alone:</source>
        <translation>Diese Dateien sehen aus wie Wiederherstellungsdateien von INI-Dateien, gehören aber zu keiner; sie blieben unberührt:</translation>
    </message>
    <message>
        <source>is no folder and cannot be made one, so no backup could be taken</source>
        <translation>ist kein Ordner und kann keiner werden, daher konnte keine Sicherung angelegt werden</translation>
    </message>
    <message>
        <source>The support file could not be written completely: %1 (%2). An earlier support file stays as it was.</source>
        <translation>Die Supportdatei konnte nicht vollständig geschrieben werden: %1 (%2). Eine frühere Supportdatei bleibt unverändert.</translation>
    </message>
    <message>
        <source>The support file was written without these files:</source>
        <translation>Die Supportdatei wurde ohne diese Dateien geschrieben:</translation>
    </message>
    <message>
        <source>a link, a folder or a pipe has its name</source>
        <translation>ein Link, ein Ordner oder eine Pipe trägt ihren Namen</translation>
    </message>
    <message>
        <source>no permission</source>
        <translation>keine Berechtigung</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>der Datenträger ist voll</translation>
    </message>
    <message>
        <source>too many files are open</source>
        <translation>zu viele Dateien sind geöffnet</translation>
    </message>
    <message>
        <source>the system refused it</source>
        <translation>das System hat es abgelehnt</translation>
    </message>
    <message>
        <source>Writes the FILEs (or standard input) to standard output with every stand-in of a redacted support archive replaced by its original, read from MAPPING, the file left beside the archive.</source>
        <translation>Schreibt die DATEIen (oder die Standardeingabe) in die Standardausgabe, wobei jeder Platzhalter einer geschwärzten Supportdatei durch sein Original ersetzt wird, gelesen aus SCHLÜSSEL, der Datei neben der Supportdatei.</translation>
    </message>
    <message>
        <source>MAPPING</source>
        <translation>SCHLÜSSEL</translation>
    </message>
    <message>
        <source>Log folder: %1 (your own, standing in for the shared folder, which cannot be used)</source>
        <translation>Logordner: %1 (Ihr eigener, an Stelle des gemeinsamen Ordners, der nicht benutzt werden kann)</translation>
    </message>
    <message>
        <source>Log folder: %1 (the shared folder)</source>
        <translation>Logordner: %1 (der gemeinsame Ordner)</translation>
    </message>
    <message>
        <source>Shows these options.</source>
        <translation>Zeigt diese Optionen.</translation>
    </message>
    <message>
        <source>Lists the log folder and each component: whether its logging is on, the sizes of its logs and the level in each of its INI files.</source>
        <translation>Listet den Logordner und jede Komponente auf: ob ihr Logging eingeschaltet ist, die Größen ihrer Logdateien und die Stufe in jeder ihrer INI-Dateien.</translation>
    </message>
    <message>
        <source>With --list: lists as one JSON object, in English whatever the language.</source>
        <translation>Mit --list: listet als ein JSON-Objekt auf, in jeder Sprache auf Englisch.</translation>
    </message>
    <message>
        <source>Switches the logging of the components on (all: of every one).</source>
        <translation>Schaltet das Logging der Komponenten ein (all: aller Komponenten).</translation>
    </message>
    <message>
        <source>Switches the logging of the components off (all: of every one).</source>
        <translation>Schaltet das Logging der Komponenten aus (all: aller Komponenten).</translation>
    </message>
    <message>
        <source>--json needs --list</source>
        <translation>--json braucht --list</translation>
    </message>
    <message>
        <source>--json cannot go with --support-archive, which prints where the archive went</source>
        <translation>--json geht nicht zusammen mit --support-archive, das ausgibt, wohin das Archiv geschrieben wurde</translation>
    </message>
    <message>
        <source>--list cannot go with --output -, which writes the archive to standard output</source>
        <translation>--list geht nicht zusammen mit --output -, das das Archiv auf die Standardausgabe schreibt</translation>
    </message>
    <message>
        <source>The listing could not be written to standard output completely.</source>
        <translation>Die Auflistung konnte nicht vollständig auf die Standardausgabe geschrieben werden.</translation>
    </message>
    <message>
        <source>this site&apos;s settings ask for redaction, which needs a file for --output: the key to the stand-ins goes beside it</source>
        <translation>die Einstellungen dieses Standorts verlangen Schwärzung, und die braucht eine Datei für --output: der Schlüssel zu den Platzhaltern kommt daneben</translation>
    </message>
    <message>
        <source>%1 (%2) cannot be read as a site setting; it is left at its default</source>
        <translation>%1 (%2) ist als Standorteinstellung nicht lesbar; es bleibt beim Standardwert</translation>
    </message>
    <message>
        <source>The shared log folder %1 cannot be used, so your own folder %2 is used instead. The camera software does not look there: a component switched on here does not log. An administrator can let you write into the shared folder.</source>
        <translation>Der gemeinsame Logordner %1 kann nicht benutzt werden, daher wird stattdessen Ihr eigener Ordner %2 benutzt. Die Kamerasoftware sieht dort nicht nach: eine hier eingeschaltete Komponente schreibt kein Log. Ein Administrator kann Ihnen Schreibrechte für den gemeinsamen Ordner geben.</translation>
    </message>
    <message>
        <source>You may not write into the log folder %1, so no component can be switched on or off here. An administrator can give you that right, or switch the components for you.</source>
        <translation>Sie dürfen nicht in den Logordner %1 schreiben, daher kann hier keine Komponente ein- oder ausgeschaltet werden. Ein Administrator kann Ihnen dieses Recht geben oder die Komponenten für Sie schalten.</translation>
    </message>
    <message>
        <source>Log Folder</source>
        <translation>Logordner</translation>
    </message>
    <message>
        <source>No file manager could be opened for the log folder %1.</source>
        <translation>Für den Logordner %1 konnte kein Dateimanager geöffnet werden.</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Im Ordner zeigen</translation>
    </message>
    <message>
        <source>No file manager could be opened for %1.</source>
        <translation>Für %1 konnte kein Dateimanager geöffnet werden.</translation>
    </message>
    <message>
        <source>Names of this machine and its users, and its addresses, were replaced by stand-ins. The key to them is in %1, which only you can read: keep it, and do not send it.</source>
        <translation>Die Namen dieses Rechners und seiner Benutzer und seine Adressen wurden durch Platzhalter ersetzt. Der Schlüssel dazu steht in %1, die nur Sie lesen können: bewahren Sie sie auf und senden Sie sie nicht mit.</translation>
    </message>
    <message>
        <source>Names and addresses in it were not hidden.</source>
        <translation>Namen und Adressen darin wurden nicht unkenntlich gemacht.</translation>
    </message>
    <message>
        <source>Support File Created</source>
        <translation>Supportdatei erstellt</translation>
    </message>
    <message>
        <source>The support file was written:</source>
        <translation>Die Supportdatei wurde geschrieben:</translation>
    </message>
    <message>
        <source>The mail program could not be started, or it did not take the mail.</source>
        <translation>Das Mailprogramm konnte nicht gestartet werden, oder es hat die Mail nicht angenommen.</translation>
    </message>
    <message>
        <source>You can attach the support file to a mail yourself:</source>
        <translation>Sie können die Supportdatei selbst an eine Mail anhängen:</translation>
    </message>
    <message>
        <source>Support File Too Large</source>
        <translation>Supportdatei zu groß</translation>
    </message>
    <message>
        <source>The support file is %1, more than the %2 that a mail to the support desk may carry: mail servers refuse such mails.</source>
        <translation>Die Supportdatei ist %1 groß, mehr als die %2, die eine Mail an den Support tragen darf: Mailserver weisen solche Mails ab.</translation>
    </message>
    <message>
        <source>A smaller support file keeps only the last part of each log.</source>
        <translation>Eine kleinere Supportdatei behält von jedem Log nur den letzten Teil.</translation>
    </message>
    <message>
        <source>Smaller Support File</source>
        <translation>Kleinere Supportdatei</translation>
    </message>
    <message>
        <source>The support file stays at %1.</source>
        <translation>Die Supportdatei bleibt unter %1.</translation>
    </message>
    <message>
        <source>The support file cannot be read (%1).</source>
        <translation>Die Supportdatei kann nicht gelesen werden (%1).</translation>
    </message>
    <message>
        <source>Uploading %1  %2 / %3 KiB</source>
        <translation>%1 wird hochgeladen  %2 / %3 KiB</translation>
    </message>
    <message>
        <source>Trying again in %1 s.</source>
        <translation>Neuer Versuch in %1 s.</translation>
    </message>
    <message>
        <source>Uploaded as %1</source>
        <translation>Hochgeladen als %1</translation>
    </message>
    <message>
        <source>Uploads the support archive just built with --support-archive, or the one that --output names, by an HTTPS PUT to URL, where {name} stands for the archive&apos;s name on the server (zel_support_&lt;case&gt;_&lt;host&gt;_&lt;UTC time&gt;.zip). Plain http:// only to this machine.</source>
        <translation>Lädt die gerade mit --support-archive erstellte Supportdatei, oder die mit --output genannte, per HTTPS-PUT an URL hoch, wobei {name} für den Namen der Datei auf dem Server steht (zel_support_&lt;Fall&gt;_&lt;Rechner&gt;_&lt;UTC-Zeit&gt;.zip). Einfaches http:// nur zu diesem Rechner.</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>URL</translation>
    </message>
    <message>
        <source>With --upload: the support desk&apos;s case, up to 40 letters, digits, &quot;-&quot; and &quot;.&quot;, for the archive&apos;s name.</source>
        <translation>Mit --upload: der Fall des Supports, bis zu 40 Buchstaben, Ziffern, „-“ und „.“, für den Namen der Datei.</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>With --upload: trusts the certificates of the PEM file besides the system&apos;s, such as the support desk&apos;s own CA.</source>
        <translation>Mit --upload: vertraut neben denen des Systems den Zertifikaten der PEM-Datei, etwa der eigenen Zertifizierungsstelle des Supports.</translation>
    </message>
    <message>
        <source>PEM</source>
        <translation>PEM</translation>
    </message>
    <message>
        <source>--output needs --support-archive or --upload</source>
        <translation>--output braucht --support-archive oder --upload</translation>
    </message>
    <message>
        <source>--upload needs --support-archive, or --output with the archive to upload</source>
        <translation>--upload braucht --support-archive, oder --output mit der hochzuladenden Supportdatei</translation>
    </message>
    <message>
        <source>--upload needs a file for --output</source>
        <translation>--upload braucht eine Datei für --output</translation>
    </message>
    <message>
        <source>not a case: %1 (up to 40 letters, digits, &quot;-&quot; and &quot;.&quot;)</source>
        <translation>kein Fall: %1 (bis zu 40 Buchstaben, Ziffern, „-“ und „.“)</translation>
    </message>
    <message>
        <source>--%1 needs --upload</source>
        <translation>--%1 braucht --upload</translation>
    </message>
    <message>
        <source>cannot be read for the upload</source>
        <translation>kann für das Hochladen nicht gelesen werden</translation>
    </message>
    <message>
        <source>cannot be uploaded: it is missing, cannot be read, or is no regular file of its own (a link, a folder, or a file with a second name)</source>
        <translation>kann nicht hochgeladen werden: sie fehlt, ist nicht lesbar oder keine eigene, gewöhnliche Datei (ein Link, ein Ordner oder eine Datei mit einem zweiten Namen)</translation>
    </message>
    <message>
        <source>The server refused the upload (HTTP %1): the upload address may have expired or may not allow writing. Please ask the support desk for a new one.</source>
        <translation>Der Server hat das Hochladen abgelehnt (HTTP %1): die Adresse ist vielleicht abgelaufen oder erlaubt kein Schreiben. Bitte fragen Sie den Support nach einer neuen.</translation>
    </message>
    <message>
        <source>The server does not know the upload address (HTTP 404). Please check it with the support desk.</source>
        <translation>Der Server kennt die Adresse zum Hochladen nicht (HTTP 404). Bitte prüfen Sie sie mit dem Support.</translation>
    </message>
    <message>
        <source>The server refuses a support file this large (HTTP 413). Please build a smaller one (with a lower level or a limit on the log size) or ask the support desk.</source>
        <translation>Der Server lehnt eine so große Supportdatei ab (HTTP 413). Bitte erstellen Sie eine kleinere (mit einer niedrigeren Stufe oder einer Grenze für die Loggröße) oder fragen Sie den Support.</translation>
    </message>
    <message>
        <source>The server failed (HTTP %1). Please try again later.</source>
        <translation>Der Server hat einen Fehler gemeldet (HTTP %1). Bitte versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>The server sent the upload elsewhere (HTTP %1), which is not followed. Please ask the support desk for the address to use.</source>
        <translation>Der Server hat das Hochladen anderswohin verwiesen (HTTP %1); dem wird nicht gefolgt. Bitte fragen Sie den Support nach der richtigen Adresse.</translation>
    </message>
    <message>
        <source>The server did not take the upload (HTTP %1).</source>
        <translation>Der Server hat das Hochladen nicht angenommen (HTTP %1).</translation>
    </message>
    <message>
        <source>not an https:// address: %1</source>
        <translation>keine https://-Adresse: %1</translation>
    </message>
    <message>
        <source>plain http:// is only allowed to a loopback address (127.0.0.1, ::1); please use https://</source>
        <translation>einfaches http:// ist nur zu einer Loopback-Adresse erlaubt (127.0.0.1, ::1); bitte verwenden Sie https://</translation>
    </message>
    <message>
        <source>cannot read the CA file %1 (%2)</source>
        <translation>die CA-Datei %1 kann nicht gelesen werden (%2)</translation>
    </message>
    <message>
        <source>the CA file %1 holds no PEM certificate</source>
        <translation>die CA-Datei %1 enthält kein PEM-Zertifikat</translation>
    </message>
    <message>
        <source>The connection broke off after the server&apos;s answer (%1).</source>
        <translation>Die Verbindung brach nach der Antwort des Servers ab (%1).</translation>
    </message>
    <message>
        <source>The server stopped answering for %1 s.</source>
        <translation>Der Server hat %1 s lang nicht geantwortet.</translation>
    </message>
    <message>
        <source>The server&apos;s certificate is not trusted (%1). If the support desk has a CA of its own, give its certificate with --ca-file.</source>
        <translation>Dem Zertifikat des Servers wird nicht vertraut (%1). Hat der Support eine eigene Zertifizierungsstelle, geben Sie deren Zertifikat mit --ca-file an.</translation>
    </message>
    <message>
        <source>The connection to the server failed (%1).</source>
        <translation>Die Verbindung zum Server ist fehlgeschlagen (%1).</translation>
    </message>
    <message>
        <source>The upload was cancelled.</source>
        <translation>Das Hochladen wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Support Case</source>
        <translation>Supportfall</translation>
    </message>
    <message>
        <source>The support desk&apos;s case number, if you have one
(letters, digits, &quot;-&quot; and &quot;.&quot;, up to 40):</source>
        <translation>Die Fallnummer des Supports, falls Sie eine haben
(Buchstaben, Ziffern, „-“ und „.“, bis zu 40):</translation>
    </message>
    <message>
        <source>Uploading the support file...</source>
        <translation>Die Supportdatei wird hochgeladen...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Hochladen</translation>
    </message>
    <message>
        <source>Send Anyway</source>
        <translation>Trotzdem senden</translation>
    </message>
    <message>
        <source>The support file was uploaded as %1, but the mail program could not be started, or it did not take the mail. Please tell the support desk this name.</source>
        <translation>Die Supportdatei wurde als %1 hochgeladen, aber das Mailprogramm konnte nicht gestartet werden oder hat die Mail nicht übernommen. Bitte nennen Sie dem Support diesen Namen.</translation>
    </message>
</context>
</TS>
