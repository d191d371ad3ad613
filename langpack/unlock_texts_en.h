/* English texts of the unlock prompt: the English module and the program's own fallback
   template both take them from here. */
#ifndef TARN_UNLOCK_TEXTS_EN_H
#define TARN_UNLOCK_TEXTS_EN_H

#define TXT_UNLOCK_CAPTION      "Unlock BitLocker Drive"
#define TXT_UNLOCK_HEADING      "BitLocker keeps this drive locked. Unlock it with its 48-digit recovery key (the key ID tells which one belongs to this drive), its password or its key file."
#define TXT_UNLOCK_DRIVE        "Drive:"
#define TXT_UNLOCK_KEY_ID       "Key ID:"
#define TXT_UNLOCK_PASSWORD     "&Recovery key (with or without the dashes):"
#define TXT_UNLOCK_WHERE        "Find it in the owner's Microsoft account (aka.ms/myrecoverykey), in Active Directory or Intune, or on the printout made when BitLocker was turned on."
#define TXT_UNLOCK_OK           "&Unlock"
#define TXT_UNLOCK_METHOD       "Unlock &with:"
#define TXT_UNLOCK_SUSPEND      "&Suspend BitLocker for the next restart"
#define TXT_UNLOCK_SUSPEND_NOTE "Windows on this drive then starts once without asking for the key; protection comes back by itself at that start."

#endif
