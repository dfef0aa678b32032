<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="fr">
<context>
    <name>AccentChoice</name>
    <message>
        <source>Couleur du système</source>
        <translation>System Colour</translation>
    </message>
    <message>
        <source>Tavane</source>
        <translation>Tavane</translation>
    </message>
    <message>
        <source>Bleu</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>Vert</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>Violet</source>
        <translation>Purple</translation>
    </message>
    <message>
        <source>Rose</source>
        <translation>Pink</translation>
    </message>
    <message>
        <source>Rouge</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>Orange</source>
        <translation>Orange</translation>
    </message>
</context>
<context>
    <name>ReservedShortcuts</name>
    <message>
        <source>Couper</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>Copier</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Coller</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>Coller sans mise en forme</source>
        <translation>Paste Without Formatting</translation>
    </message>
    <message>
        <source>Annuler</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>Rétablir</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>Tout sélectionner</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>Palette : épingler</source>
        <translation>Palette: pin</translation>
    </message>
    <message>
        <source>Palette : coller</source>
        <translation>Palette: paste</translation>
    </message>
    <message>
        <source>Palette : coller en texte brut</source>
        <translation>Palette: paste as plain text</translation>
    </message>
    <message>
        <source>Palette : élément précédent</source>
        <translation>Palette: previous item</translation>
    </message>
    <message>
        <source>Palette : élément suivant</source>
        <translation>Palette: next item</translation>
    </message>
    <message>
        <source>Palette : supprimer</source>
        <translation>Palette: delete</translation>
    </message>
    <message>
        <source>Palette : coller l&apos;élément %1</source>
        <translation>Palette: paste item %1</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Scrivlet est déjà lancé.</source>
        <translation>Scrivlet is already running.</translation>
    </message>
</context>
<context>
    <name>scrivlet::AppChooser</name>
    <message>
        <source>Ajouter une app</source>
        <translation>Add an App</translation>
    </message>
    <message>
        <source>Rechercher une application</source>
        <translation>Search applications</translation>
    </message>
    <message>
        <source>Ajouter</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Annuler</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>scrivlet::AppDelegate</name>
    <message>
        <source>L&apos;historique de Scrivlet ne peut pas être ouvert.</source>
        <translation>Scrivlet&apos;s history cannot be opened.</translation>
    </message>
    <message>
        <source>%1

Le fichier est laissé tel quel. Scrivlet va se fermer.</source>
        <translation>%1

The file is left as it is. Scrivlet will now quit.</translation>
    </message>
    <message>
        <source>L&apos;historique ne peut pas être lu (%1).</source>
        <translation>The history cannot be read (%1).</translation>
    </message>
    <message>
        <source>En attente du trousseau : rien n&apos;est enregistré pour l&apos;instant.</source>
        <translation>Waiting for the keyring: nothing is recorded for now.</translation>
    </message>
    <message>
        <source>Scrivlet n&apos;enregistre rien</source>
        <translation>Scrivlet is not recording</translation>
    </message>
    <message>
        <source>Commencer un nouvel historique ? L&apos;ancien est mis de côté dans le dossier de Scrivlet, sans rien effacer.</source>
        <translation>Start a new history? The old one is set aside in Scrivlet&apos;s folder; nothing is erased.</translation>
    </message>
    <message>
        <source>Nouvel historique</source>
        <translation>New History</translation>
    </message>
    <message>
        <source>Plus tard</source>
        <translation>Later</translation>
    </message>
    <message>
        <source>L&apos;ancien historique n&apos;a pas pu être mis de côté.</source>
        <translation>The old history could not be set aside.</translation>
    </message>
    <message>
        <source>Collage automatique indisponible</source>
        <translation>Automatic paste unavailable</translation>
    </message>
    <message>
        <source>L&apos;entrée est dans le presse-papiers : collez-la avec Ctrl+V.</source>
        <translation>The entry is on the clipboard: paste it with Ctrl+V.</translation>
    </message>
    <message>
        <source>Scrivlet ne peut pas envoyer Ctrl+V dans cette session : l&apos;entrée choisie reste dans le presse-papiers, à coller vous-même.</source>
        <translation>Scrivlet cannot send Ctrl+V in this session: the chosen entry stays on the clipboard for you to paste.</translation>
    </message>
    <message>
        <source>L&apos;historique n&apos;est pas encore ouvert</source>
        <translation>The history is not open yet</translation>
    </message>
    <message>
        <source>Vider tout l&apos;historique ?</source>
        <translation>Clear the whole history?</translation>
    </message>
    <message>
        <source>Cette action est irréversible.</source>
        <translation>This cannot be undone.</translation>
    </message>
    <message>
        <source>Vider</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Annuler</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Scrivlet %1 est installé.</source>
        <translation>Scrivlet %1 is installed.</translation>
    </message>
    <message>
        <source>Les mises à jour de Scrivlet arrivent avec les paquets de votre distribution : installez-les avec son gestionnaire de mises à jour.</source>
        <translation>Scrivlet&apos;s updates come with your distribution&apos;s packages: install them with its update manager.</translation>
    </message>
    <message>
        <source>Scrivlet ne voit pas les copies ici</source>
        <translation>Scrivlet cannot see copies here</translation>
    </message>
    <message>
        <source>Raccourci de la palette</source>
        <translation>Palette shortcut</translation>
    </message>
    <message>
        <source>Réglages illisibles mis de côté</source>
        <translation>Unreadable settings set aside</translation>
    </message>
    <message>
        <source>Le fichier des réglages ne pouvait pas être lu ; il est gardé tel quel dans %1. Rien n&apos;est effacé de l&apos;historique tant que ses limites ne sont pas connues : choisissez-les dans les réglages.</source>
        <translation>The settings file could not be read; it is kept as it was in %1. Nothing is removed from the history until its limits are known: choose them in the settings.</translation>
    </message>
    <message>
        <source>Scrivlet attend encore la clé de l&apos;historique : rien n&apos;est enregistré pour l&apos;instant.</source>
        <translation>Scrivlet is still waiting for the history&apos;s key: nothing is recorded for now.</translation>
    </message>
    <message>
        <source>Ce bureau ne laisse pas Scrivlet prendre un raccourci : associez la commande « scrivlet toggle » à Maj+Super+V dans les réglages clavier du bureau.</source>
        <translation>This desktop does not let Scrivlet take a shortcut: bind the command “scrivlet toggle” to Shift+Super+V in the desktop&apos;s keyboard settings.</translation>
    </message>
    <message>
        <source>Scrivlet ne voit plus les copies</source>
        <translation>Scrivlet no longer sees copies</translation>
    </message>
    <message>
        <source>Activer l&apos;extension GNOME Shell de Scrivlet ?</source>
        <translation>Turn on Scrivlet&apos;s GNOME Shell extension?</translation>
    </message>
    <message>
        <source>Sur GNOME, Scrivlet ne voit les copies, ne colle et n&apos;ouvre sa palette qu&apos;au moyen de son extension de GNOME Shell, qui est installée mais désactivée. Vous pourrez la désactiver dans l&apos;application Extensions.</source>
        <translation>On GNOME, Scrivlet sees copies, pastes and opens its palette only through its GNOME Shell extension, which is installed but turned off. You can turn it off again in the Extensions app.</translation>
    </message>
    <message>
        <source>Activer</source>
        <translation>Turn On</translation>
    </message>
    <message>
        <source>Non merci</source>
        <translation>No Thanks</translation>
    </message>
</context>
<context>
    <name>scrivlet::DesktopSession</name>
    <message>
        <source>Ce bureau ne montre pas le presse-papiers aux programmes en arrière-plan : Scrivlet n&apos;enregistre pas les copies ici. Ouvrez une session X11 pour qu&apos;il les enregistre.</source>
        <translation>This desktop does not show the clipboard to background programs: Scrivlet does not record copies here. Open an X11 session for it to record them.</translation>
    </message>
    <message>
        <source>GNOME ne montre le presse-papiers qu&apos;à l&apos;extension GNOME Shell de Scrivlet, qui n&apos;est pas installée. Installez Scrivlet depuis le paquet de votre distribution, puis rouvrez votre session.</source>
        <translation>GNOME shows the clipboard only to Scrivlet&apos;s GNOME Shell extension, which is not installed. Install Scrivlet from your distribution&apos;s package, then log out and back in.</translation>
    </message>
    <message>
        <source>GNOME ne montre le presse-papiers qu&apos;à l&apos;extension GNOME Shell de Scrivlet, qui est désactivée. Activez « Scrivlet » dans l&apos;application Extensions.</source>
        <translation>GNOME shows the clipboard only to Scrivlet&apos;s GNOME Shell extension, which is turned off. Turn on “Scrivlet” in the Extensions app.</translation>
    </message>
    <message>
        <source>GNOME ne montre le presse-papiers qu&apos;à l&apos;extension GNOME Shell de Scrivlet, qui ne répond pas. Le journal de GNOME Shell dit pourquoi.</source>
        <translation>GNOME shows the clipboard only to Scrivlet&apos;s GNOME Shell extension, which does not answer. GNOME Shell&apos;s log says why.</translation>
    </message>
</context>
<context>
    <name>scrivlet::KGlobalAccelHotkeyGrabber</name>
    <message>
        <source>Afficher l&apos;historique du presse-papiers</source>
        <translation>Show the clipboard history</translation>
    </message>
    <message>
        <source>aucune touche</source>
        <translation>no key</translation>
    </message>
</context>
<context>
    <name>scrivlet::KeychainKey</name>
    <message>
        <source>Le trousseau est verrouillé : Scrivlet n&apos;enregistre rien tant qu&apos;il n&apos;est pas déverrouillé.</source>
        <translation>The keyring is locked: Scrivlet records nothing until it is unlocked.</translation>
    </message>
    <message>
        <source>Le trousseau ne répond pas (%1) : Scrivlet n&apos;enregistre rien pour l&apos;instant.</source>
        <translation>The keyring does not answer (%1): Scrivlet records nothing for now.</translation>
    </message>
    <message>
        <source>Aucun trousseau n&apos;est disponible dans cette session, alors que la clé de l&apos;historique y est rangée : Scrivlet n&apos;enregistre rien.</source>
        <translation>No keyring is available in this session, yet the history&apos;s key is kept there: Scrivlet records nothing.</translation>
    </message>
    <message>
        <source>La clé trouvée dans le trousseau n&apos;est pas celle de l&apos;historique : Scrivlet n&apos;enregistre rien et ne touche pas à l&apos;historique.</source>
        <translation>The key found in the keyring is not the history&apos;s: Scrivlet records nothing and leaves the history alone.</translation>
    </message>
    <message>
        <source>La clé de l&apos;historique a disparu du trousseau : les entrées existantes ne peuvent plus être lues. Scrivlet les garde telles quelles et n&apos;enregistre rien.</source>
        <translation>The history&apos;s key has gone from the keyring: the existing entries can no longer be read. Scrivlet keeps them as they are and records nothing.</translation>
    </message>
    <message>
        <source>Impossible de créer une clé.</source>
        <translation>A key could not be created.</translation>
    </message>
    <message>
        <source>La clé n&apos;a pas pu être rangée dans le trousseau (%1) : Scrivlet n&apos;enregistre rien.</source>
        <translation>The key could not be stored in the keyring (%1): Scrivlet records nothing.</translation>
    </message>
    <message>
        <source>L&apos;historique ne peut pas être lu (%1).</source>
        <translation>The history cannot be read (%1).</translation>
    </message>
    <message>
        <source>La clé rangée pour Scrivlet fait %1 octets, une longueur qu&apos;AES n&apos;accepte pas : Scrivlet n&apos;enregistre rien et ne remplace pas cette clé. Retirez-la du trousseau si elle ne sert à rien d&apos;autre.</source>
        <translation>The key stored for Scrivlet is %1 bytes long, a length AES does not accept: Scrivlet records nothing and does not replace that key. Remove it from the keyring if nothing else uses it.</translation>
    </message>
    <message>
        <source>La clé de l&apos;historique n&apos;est pas parmi celles que le trousseau a laissé lire (%1) : Scrivlet n&apos;enregistre rien pour l&apos;instant.</source>
        <translation>The history&apos;s key is not among those the keyring let Scrivlet read (%1): Scrivlet records nothing for now.</translation>
    </message>
    <message>
        <source>Le trousseau garde plusieurs clés différentes pour Scrivlet et l&apos;historique ne dit pas laquelle est la sienne : Scrivlet n&apos;enregistre rien et n&apos;en remplace aucune. Ne gardez que la bonne dans le trousseau.</source>
        <translation>The keyring holds several different keys for Scrivlet and the history does not say which one is its own: Scrivlet records nothing and replaces none of them. Keep only the right one in the keyring.</translation>
    </message>
    <message>
        <source>Le bus de session ne dit pas si un trousseau existe : Scrivlet n&apos;enregistre rien pour l&apos;instant.</source>
        <translation>The session bus does not say whether a keyring exists: Scrivlet records nothing for now.</translation>
    </message>
    <message>
        <source>L&apos;historique n&apos;a pas pu noter sa clé (%1) : Scrivlet n&apos;enregistre rien pour l&apos;instant.</source>
        <translation>The history could not note its key (%1): Scrivlet records nothing for now.</translation>
    </message>
</context>
<context>
    <name>scrivlet::PaletteModel</name>
    <message>
        <source>Image</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>Aucun élément</source>
        <translation>No Items</translation>
    </message>
    <message>
        <source>Aucun résultat</source>
        <translation>No Results</translation>
    </message>
</context>
<context>
    <name>scrivlet::PaletteRowActions</name>
    <message>
        <source>Supprimer de l&apos;historique</source>
        <translation>Remove from History</translation>
    </message>
    <message>
        <source>Désépingler</source>
        <translation>Unpin</translation>
    </message>
    <message>
        <source>Épingler</source>
        <translation>Pin</translation>
    </message>
</context>
<context>
    <name>scrivlet::PaletteRowDelegate</name>
    <message>
        <source>Image</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>Ctrl+%1</source>
        <translation>Ctrl+%1</translation>
    </message>
</context>
<context>
    <name>scrivlet::PaletteWindow</name>
    <message>
        <source>Presse-papiers</source>
        <translation>Clipboard</translation>
    </message>
    <message>
        <source>Rechercher…</source>
        <translation>Search…</translation>
    </message>
    <message>
        <source>Rechercher</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>Historique</source>
        <translation>History</translation>
    </message>
    <message>
        <source>coller</source>
        <translation>paste</translation>
    </message>
    <message>
        <source>texte brut</source>
        <translation>plain text</translation>
    </message>
    <message>
        <source>épingler</source>
        <translation>pin</translation>
    </message>
    <message>
        <source>supprimer</source>
        <translation>delete</translation>
    </message>
</context>
<context>
    <name>scrivlet::PortalHotkeyGrabber</name>
    <message>
        <source>Afficher l&apos;historique du presse-papiers</source>
        <translation>Show the clipboard history</translation>
    </message>
</context>
<context>
    <name>scrivlet::SettingsWindow</name>
    <message>
        <source>Réglages — Scrivlet</source>
        <translation>Settings — Scrivlet</translation>
    </message>
    <message>
        <source>Système</source>
        <translation>System</translation>
    </message>
    <message>
        <source>Clair</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>Sombre</source>
        <translation>Dark</translation>
    </message>
    <message>
        <source>Relancez Scrivlet pour appliquer la langue.</source>
        <translation>Restart Scrivlet to apply the language.</translation>
    </message>
    <message>
        <source>Apparence</source>
        <translation>Appearance</translation>
    </message>
    <message>
        <source>Couleur d&apos;accent</source>
        <translation>Accent Colour</translation>
    </message>
    <message>
        <source>Langue</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Raccourci</source>
        <translation>Shortcut</translation>
    </message>
    <message>
        <source>Ouvrir la palette</source>
        <translation>Open the palette</translation>
    </message>
    <message>
        <source> jours</source>
        <translation> days</translation>
    </message>
    <message>
        <source>Vider l&apos;historique…</source>
        <translation>Clear History…</translation>
    </message>
    <message>
        <source>Historique</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Nombre maximum</source>
        <translation>Maximum number</translation>
    </message>
    <message>
        <source>Conserver pendant</source>
        <translation>Keep for</translation>
    </message>
    <message>
        <source>Un simple clic</source>
        <translation>A single click</translation>
    </message>
    <message>
        <source>Un double-clic</source>
        <translation>A double click</translation>
    </message>
    <message>
        <source>Palette</source>
        <translation>Palette</translation>
    </message>
    <message>
        <source>Coller un élément avec</source>
        <translation>Paste an item with</translation>
    </message>
    <message>
        <source>Le double-clic évite de coller par mégarde en parcourant la liste.</source>
        <translation>A double click avoids pasting by mistake while browsing the list.</translation>
    </message>
    <message>
        <source>Capturer le presse-papiers</source>
        <translation>Capture the clipboard</translation>
    </message>
    <message>
        <source>Lancer au démarrage</source>
        <translation>Launch at login</translation>
    </message>
    <message>
        <source>Capture</source>
        <translation>Capture</translation>
    </message>
    <message>
        <source>Autorisations</source>
        <translation>Permissions</translation>
    </message>
    <message>
        <source>Ajouter une app…</source>
        <translation>Add an App…</translation>
    </message>
    <message>
        <source>Apps exclues</source>
        <translation>Excluded Apps</translation>
    </message>
    <message>
        <source>Accordée</source>
        <translation>Granted</translation>
    </message>
    <message>
        <source>Non accordée</source>
        <translation>Not granted</translation>
    </message>
    <message>
        <source>Aucune app exclue</source>
        <translation>No excluded apps</translation>
    </message>
    <message>
        <source>Retirer %1</source>
        <translation>Remove %1</translation>
    </message>
    <message>
        <source>Ce bureau ne laisse pas Scrivlet prendre un raccourci : dans ses réglages clavier, associez la commande « scrivlet toggle » à la touche de votre choix.</source>
        <translation>This desktop does not let Scrivlet take a shortcut: in its keyboard settings, bind the command “scrivlet toggle” to the key of your choice.</translation>
    </message>
    <message>
        <source>Ce bureau ne dit pas quelle application copie : la liste ne peut pas s&apos;appliquer ici.</source>
        <translation>This desktop does not tell which application copies: the list cannot apply here.</translation>
    </message>
    <message>
        <source>Le bureau l&apos;a associé à : %1</source>
        <translation>The desktop bound it to: %1</translation>
    </message>
    <message>
        <source>Ce raccourci n&apos;est pas actif : un autre programme l&apos;a pris. Scrivlet réessaie de le prendre.</source>
        <translation>This shortcut is not active: another program has taken it. Scrivlet keeps trying to take it.</translation>
    </message>
    <message>
        <source>Comment marche le collage automatique…</source>
        <translation>How automatic paste works…</translation>
    </message>
    <message>
        <source>Collage automatique</source>
        <translation>Automatic paste</translation>
    </message>
    <message>
        <source>Enregistrer aussi la sélection</source>
        <translation>Also record the selection</translation>
    </message>
</context>
<context>
    <name>scrivlet::TrayIcon</name>
    <message>
        <source>Ouvrir l&apos;historique  %1</source>
        <translation>Open History  %1</translation>
    </message>
    <message>
        <source>Capture active</source>
        <translation>Capture On</translation>
    </message>
    <message>
        <source>Réglages…</source>
        <translation>Settings…</translation>
    </message>
    <message>
        <source>Rechercher les mises à jour…</source>
        <translation>Check for Updates…</translation>
    </message>
    <message>
        <source>Vider l&apos;historique…</source>
        <translation>Clear History…</translation>
    </message>
    <message>
        <source>Quitter Scrivlet</source>
        <translation>Quit Scrivlet</translation>
    </message>
    <message>
        <source>Scrivlet</source>
        <translation>Scrivlet</translation>
    </message>
    <message>
        <source>Scrivlet — capture en pause</source>
        <translation>Scrivlet — capture paused</translation>
    </message>
    <message>
        <source>Ouvrir l&apos;historique</source>
        <translation>Open History</translation>
    </message>
</context>
</TS>
